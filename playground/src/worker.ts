// The worker that owns the WebAssembly module: the command line, run once per request in
// a fresh instance over an in-memory file system (/chips holds the chip files, /work the
// sources and, afterwards, the outputs). A fresh instance per run means nothing carries
// over from one run to the next, as between two runs of the command line.
import {
  ChipsRequest,
  Diagnostic,
  RunRequest,
  RunResult,
  parseDiagnostic,
  parseTotals,
} from './protocol';

declare function importScripts(...urls: string[]): void;
declare function createZqasm(settings: object): Promise<any>;
declare const self: any;

importScripts('zqasm-module.js');

let compiled: Promise<WebAssembly.Module> | null = null;
let chipFiles: Promise<Record<string, Uint8Array>> | null = null;

function wasmModule(): Promise<WebAssembly.Module> {
  if (!compiled) compiled = WebAssembly.compileStreaming(fetch('zqasm-module.wasm'));
  return compiled;
}

function chips(): Promise<Record<string, Uint8Array>> {
  if (!chipFiles) {
    chipFiles = (async () => {
      const names: string[] = await (await fetch('chips/index.json')).json();
      const files: Record<string, Uint8Array> = {};
      await Promise.all(
        names.map(async (name) => {
          files[name] = new Uint8Array(await (await fetch('chips/' + name)).arrayBuffer());
        }),
      );
      return files;
    })();
  }
  return chipFiles;
}

interface Instance {
  module: any;
  stdout: string[];
  stderr: string[];
}

async function instance(): Promise<Instance> {
  const [compiledModule, chipData] = await Promise.all([wasmModule(), chips()]);
  const stdout: string[] = [];
  const stderr: string[] = [];
  const module = await createZqasm({
    instantiateWasm(imports: WebAssembly.Imports, done: (i: WebAssembly.Instance) => void) {
      WebAssembly.instantiate(compiledModule, imports).then((i) => done(i));
      return {};
    },
    print: (text: string) => stdout.push(text),
    printErr: (text: string) => stderr.push(text),
  });
  module.FS.mkdir('/chips');
  for (const [name, bytes] of Object.entries(chipData)) module.FS.writeFile('/chips/' + name, bytes);
  return { module, stdout, stderr };
}

// Runs main with `args`; the exit status whether main returns or calls exit.
function callMain(module: any, args: string[]): number {
  try {
    const status = module.callMain(args);
    return typeof status === 'number' ? status : 0;
  } catch (e: any) {
    if (e && e.name === 'ExitStatus') return e.status;
    throw e;
  }
}

async function listChips(request: ChipsRequest) {
  const { module, stdout } = await instance();
  callMain(module, ['--chip-dir', '/chips', '--list-chips']);
  // "MODEL   FILE", a file that is no usable chip marked after its name.
  const chipsFound = stdout
    .map((line) => line.trim().split(/\s+/))
    .filter((fields) => fields.length === 2 && fields[1].startsWith('/chips/'))
    .map((fields) => fields[0]);
  self.postMessage({ kind: 'chips', id: request.id, chips: chipsFound });
}

async function run(request: RunRequest) {
  const started = performance.now();
  const { module, stdout, stderr } = await instance();
  const fs = module.FS;
  fs.mkdir('/work');
  const encoder = new TextEncoder();
  for (const [name, text] of Object.entries(request.files)) {
    fs.writeFile('/work/' + name, encoder.encode(text));
  }
  fs.chdir('/work');
  const base = request.main.replace(/\.[^.]*$/, '');
  const status = callMain(module, [
    '--chip-dir', '/chips', '-I', '.', '--color=never', '--max-errors', '0',
    '--rom-top', request.options.romTop, '--table-top', request.options.tableTop,
    '--map-svg', base + '.svg', request.main,
  ]);
  const outputs: Record<string, Uint8Array> = {};
  for (const name of fs.readdir('/work') as string[]) {
    if (name === '.' || name === '..' || name in request.files) continue;
    outputs[name] = fs.readFile('/work/' + name);
  }
  const diagnostics: Diagnostic[] = [];
  let totals = { errors: 0, warnings: 0 };
  for (const line of stderr.concat(stdout)) {
    const d = parseDiagnostic(line);
    if (d) diagnostics.push(d);
    totals = parseTotals(line) || totals;
  }
  // A run stopped by a fatal error writes no totals: its diagnostics are counted.
  if (!stdout.concat(stderr).some((line) => parseTotals(line))) {
    totals = {
      errors: diagnostics.filter((d) => d.severity === 'error' || d.severity === 'fatal').length,
      warnings: diagnostics.filter((d) => d.severity === 'warning').length,
    };
  }
  const result: RunResult = {
    kind: 'run',
    id: request.id,
    status,
    errors: totals.errors,
    warnings: totals.warnings,
    diagnostics,
    outputs,
    stdout: stdout.join('\n'),
    stderr: stderr.join('\n'),
    milliseconds: performance.now() - started,
  };
  self.postMessage(result, Object.values(outputs).map((b) => b.buffer));
}

self.onmessage = (event: MessageEvent) => {
  const request = event.data as RunRequest | ChipsRequest;
  const work = request.kind === 'chips' ? listChips(request) : run(request);
  work.catch((e) => self.postMessage({ kind: 'failed', id: request.id, message: String(e) }));
};
