// Writes the static site: `node build.mjs SITE CHIPS` bundles the page and its worker with
// esbuild (CodeMirror included), copies the page, the chip files (with an index the worker
// reads) and the example programs. The WebAssembly module is put into SITE by the CMake
// build beforehand.
import * as esbuild from 'esbuild';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const [site, chips] = process.argv.slice(2);
if (!site || !chips) {
  console.error('usage: node build.mjs SITE CHIPS');
  process.exit(2);
}

fs.mkdirSync(path.join(site, 'chips'), { recursive: true });
const chipFiles = fs.readdirSync(chips).filter((name) => name.toUpperCase().endsWith('.COE')).sort();
for (const name of chipFiles) fs.copyFileSync(path.join(chips, name), path.join(site, 'chips', name));
fs.writeFileSync(path.join(site, 'chips', 'index.json'), JSON.stringify(chipFiles));

// The examples menu: each program of examples/ with the include files beside it.
const exampleDir = path.join(here, '..', 'examples');
const examples = {};
const includes = fs.readdirSync(exampleDir).filter((n) => /\.inc$/i.test(n));
for (const name of fs.readdirSync(exampleDir).filter((n) => /\.asm$/i.test(n)).sort()) {
  const files = { [name]: fs.readFileSync(path.join(exampleDir, name), 'latin1') };
  for (const inc of includes) files[inc] = fs.readFileSync(path.join(exampleDir, inc), 'latin1');
  examples[name] = files;
}
fs.writeFileSync(path.join(site, 'examples.json'), JSON.stringify(examples));

for (const file of ['index.html', 'style.css']) {
  fs.copyFileSync(path.join(here, file), path.join(site, file));
}
await esbuild.build({
  entryPoints: { main: path.join(here, 'src', 'main.ts'), worker: path.join(here, 'src', 'worker.ts') },
  bundle: true,
  minify: true,
  format: 'iife',
  target: 'es2020',
  outdir: site,
  logLevel: 'warning',
});
