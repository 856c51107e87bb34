// The page in headless Chromium, used as a person would:
//   node test/page_test.mjs SITE NATIVE_BUILD SHOTS
// serves SITE on 127.0.0.1, and checks that the demo assembles without errors, that an
// unknown mnemonic typed into the editor is underlined and listed within a second, that a
// click on the list entry moves the cursor to it, that the listing shows the encoded words,
// that the downloaded .OBJ holds the bytes the native zqasm writes, that a share address
// restores the sources, and that the ROM map of the banked example has a strip per bank.
// Screenshots go to SHOTS.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const [site, nativeBuild, shots] = process.argv.slice(2).map((p) => path.resolve(p));
const here = path.dirname(new URL(import.meta.url).pathname);
const examples = path.join(here, '..', '..', 'examples');
fs.mkdirSync(shots, { recursive: true });

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
  '.wasm': 'application/wasm', '.json': 'application/json' };
const server = http.createServer((request, response) => {
  const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
  const file = path.join(site, name === '/' ? 'index.html' : name);
  if (!file.startsWith(path.resolve(site)) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
    response.writeHead(404).end();
    return;
  }
  response.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
  fs.createReadStream(file).pipe(response);
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const address = `http://127.0.0.1:${server.address().port}/`;

let failures = 0;
function check(ok, what, detail = '') {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}${detail ? ': ' + detail : ''}`);
  if (!ok) failures++;
}

const chromium = ['chromium', 'chromium-browser'].map((n) => {
  try {
    return execFileSync('sh', ['-c', `command -v ${n}`]).toString().trim();
  } catch {
    return '';
  }
}).find(Boolean);
const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'],
});
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1400, height: 900 });
  page.on('pageerror', (e) => check(false, 'no script error on the page', String(e)));
  const downloads = fs.mkdtempSync(path.join(os.tmpdir(), 'zqasm-page-'));
  const cdp = await page.createCDPSession();
  await cdp.send('Page.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });

  // The demo, first result on screen.
  const loadStart = Date.now();
  await page.goto(address);
  await page.waitForFunction(() => document.body.dataset.runs >= 1, { timeout: 20000 });
  const firstResult = Date.now() - loadStart;
  const summary = await page.$eval('#summary', (e) => e.textContent);
  check(/^0 error\(s\)/.test(summary), 'the demo assembles with 0 errors', summary);
  const onPage = await page.$eval('body', (e) => Number(e.dataset.firstResultMs));
  console.log(`     first result on screen ${onPage} ms after the page began to load ` +
              `(${firstResult} ms from the test's request)`);
  await page.screenshot({ path: path.join(shots, 'demo.png') });

  // The listing shows the encoded words: a word of the native .OBJ in hex, in the listing.
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'zqasm-native-'));
  fs.copyFileSync(path.join(examples, 'demo.asm'), path.join(work, 'demo.asm'));
  execFileSync(path.join(nativeBuild, 'tools', 'zqasm'),
    ['--chip-dir', path.join(nativeBuild, 'chips'), '--table-top', '0FFh', 'demo.asm'], { cwd: work, stdio: 'pipe' });
  const nativeObj = fs.readFileSync(path.join(work, 'demo.OBJ'));
  const nativeLst = fs.readFileSync(path.join(work, 'demo.LST'), 'latin1');
  await page.click('#output-tabs [data-output="LST"]');
  const listing = await page.$eval('#output', (e) => e.textContent);
  check(listing === nativeLst, 'the listing tab shows the listing the native zqasm writes');
  const jmp = nativeLst.split('\n').find((l) => /\bJMP\b/.test(l)) || '';
  check(jmp !== '' && listing.includes(jmp), 'the listing shows the JMP line with its word', jmp.trim());

  // The .OBJ download.
  const link = await page.$('#downloads a[download="demo.OBJ"]');
  check(link !== null, 'the .OBJ can be downloaded');
  if (link) {
    await link.click();
    const file = path.join(downloads, 'demo.OBJ');
    for (let i = 0; i < 100 && !fs.existsSync(file); i++) await new Promise((r) => setTimeout(r, 50));
    const got = fs.existsSync(file) ? fs.readFileSync(file) : Buffer.alloc(0);
    check(Buffer.compare(got, nativeObj) === 0, 'the downloaded .OBJ holds the native bytes',
      `${got.length} bytes, native ${nativeObj.length}`);
  }

  // An unknown mnemonic typed at the end of the first line: underlined and listed within 1 s.
  await page.click('.cm-content');
  await page.keyboard.down('Control');
  await page.keyboard.press('Home');
  await page.keyboard.up('Control');
  await page.keyboard.press('End');
  const typed = Date.now();
  await page.keyboard.type('\n        FROB 1');
  await page.waitForFunction(
    () => [...document.querySelectorAll('#diagnostics li')].some((li) => li.textContent.includes('FROB')),
    { timeout: 5000 });
  const underlined = await page.waitForSelector('.cm-lintRange-error', { timeout: 5000 });
  const delay = Date.now() - typed;
  check(underlined !== null && delay <= 1000 + 400, 'the unknown mnemonic is underlined and listed',
    `${delay} ms after the last key (typing pause included)`);
  const underlinedText = await page.$eval('.cm-lintRange-error', (e) => e.textContent);
  check(underlinedText === 'FROB', 'the underline covers the mnemonic', underlinedText);
  await page.screenshot({ path: path.join(shots, 'diagnostic.png') });

  // A click on the entry moves the cursor to line 2.
  await page.keyboard.down('Control');
  await page.keyboard.press('End');
  await page.keyboard.up('Control');
  const entry = await page.evaluateHandle(() =>
    [...document.querySelectorAll('#diagnostics li')].find((li) => li.textContent.includes('FROB')));
  await entry.click();
  const activeLine = await page.$eval('.cm-activeLine', (e) => e.textContent);
  check(activeLine.includes('FROB'), 'a click on the entry moves the cursor to the line', activeLine);

  // Share: the address restores sources and settings in a fresh page.
  await page.evaluate(() => {
    window.zqasm.setFiles({ 'main.asm': '        .CHIP ZQ4460\n        .INCLUDE "part.inc"\n',
      'part.inc': '; shared part\n        NOP\n' }, 'main.asm');
    window.zqasm.setOptions({ romTop: '1FFFh' });
  });
  await page.click('#share');
  await page.waitForFunction(() => document.getElementById('share-address').value !== '');
  const shared = await page.$eval('#share-address', (e) => e.value);
  const restored = await browser.newPage();
  await restored.goto(shared);
  await restored.evaluate(() => window.zqasm.ready);
  const state = await restored.evaluate(() => ({ files: window.zqasm.getFiles(), options: window.zqasm.getOptions() }));
  check(state.files['part.inc'] === '; shared part\n        NOP\n' &&
        state.files['main.asm'].includes('.INCLUDE "part.inc"') && state.options.romTop === '1FFFh',
        'a share address restores the sources and settings', `${shared.length} characters`);
  await restored.close();

  // The ROM map of the banked example: a strip per bank.
  await page.select('#examples', 'banked.asm');
  await page.waitForFunction(() => window.zqasm.getOptions().romTop === '2FFFh');
  const result = await page.evaluate(async () => {
    const r = await window.zqasm.assemble();
    return { errors: r.errors, outputs: Object.keys(r.outputs) };
  });
  check(result.errors === 0 && result.outputs.includes('banked.OBJ'),
    'assemble() of the banked example gives its outputs', result.outputs.join(' '));
  await page.click('#output-tabs [data-output="svg"]');
  const banks = await page.$$eval('#output svg g.bank', (g) => g.length);
  check(banks === 3, 'the ROM map shows a region per bank', `${banks} banks`);
  await page.screenshot({ path: path.join(shots, 'rom-map.png') });
} finally {
  await browser.close();
  server.close();
}
console.log(failures === 0 ? 'page test: all checks passed' : `page test: ${failures} failed`);
process.exit(failures === 0 ? 0 : 1);
