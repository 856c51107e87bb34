// The playground page: an editor per source file, the run settings, the outputs of the
// latest run, and window.zqasm, the script interface that the page's own controls use too.
import { EditorView, basicSetup } from 'codemirror';
import { EditorState } from '@codemirror/state';
import { Diagnostic as CmDiagnostic, lintGutter, setDiagnostics } from '@codemirror/lint';
import { Diagnostic, RunResult } from './protocol';
import { Runner } from './runner';
import { decodeState, encodeState } from './share';
import { zqasmLanguage } from './syntax';

// How long typing must pause before a run starts.
const kTypingPauseMs = 120;
const ROM_TOPS = ['03FFh', '07FFh', '0FFFh', '17FFh', '1FFFh', '2FFFh'];
const TABLE_TOPS = ['-1', '0FFh', '1FFh', '3FFh', '7FFh', '0FFFh'];
const NEW_FILE = '; an include file: .INCLUDE "NAME" in a source reads it\n';

interface Options {
  chip?: string;
  romTop?: string;
  tableTop?: string;
}

// What assemble() gives.
export interface AssembleResult {
  status: number;
  errors: number;
  warnings: number;
  diagnostics: Diagnostic[];
  outputs: Record<string, Uint8Array>;
}

const $ = <T extends HTMLElement>(id: string) => document.getElementById(id) as T;

const page = {
  files: new Map<string, EditorState>(),
  main: '',
  shown: '',
  romTop: '0FFFh',
  tableTop: '-1',
  result: null as RunResult | null,
  outputTab: 'LST',
  downloads: [] as string[],
};

const runner = new Runner('worker.js');
let view: EditorView;
let typingTimer: number | undefined;

function newState(text: string): EditorState {
  return EditorState.create({
    doc: text,
    extensions: [
      basicSetup,
      zqasmLanguage,
      lintGutter(),
      EditorView.updateListener.of((update) => {
        if (update.docChanged) {
          page.files.set(page.shown, update.state);
          scheduleRun();
        }
      }),
    ],
  });
}

function texts(): Record<string, string> {
  const files: Record<string, string> = {};
  for (const [name, state] of page.files) files[name] = state.doc.toString();
  return files;
}

// ---- files and tabs ----

function showFile(name: string) {
  if (!page.files.has(name)) return;
  if (page.shown && view) page.files.set(page.shown, view.state);
  page.shown = name;
  view.setState(page.files.get(name)!);
  renderFileTabs();
  markDiagnostics();
}

function renderFileTabs() {
  const bar = $('file-tabs');
  bar.textContent = '';
  for (const name of page.files.keys()) {
    const tab = document.createElement('button');
    tab.className = 'tab' + (name === page.shown ? ' active' : '');
    tab.textContent = name + (name === page.main ? ' (main)' : '');
    tab.dataset.file = name;
    tab.onclick = () => showFile(name);
    bar.append(tab);
  }
  const add = document.createElement('button');
  add.className = 'tab add';
  add.textContent = '+';
  add.title = 'Add a file (for .INCLUDE)';
  add.onclick = () => {
    const name = prompt('File name', 'defs.inc');
    if (!name || !/^[A-Za-z0-9_.-]+$/.test(name) || page.files.has(name)) return;
    page.files.set(name, newState(NEW_FILE));
    showFile(name);
  };
  bar.append(add);
  if (page.shown !== page.main) {
    const remove = document.createElement('button');
    remove.className = 'tab remove';
    remove.textContent = 'Remove ' + page.shown;
    remove.onclick = () => {
      page.files.delete(page.shown);
      page.shown = '';
      showFile(page.main);
      scheduleRun();
    };
    bar.append(remove);
  }
}

// ---- settings ----

// The model that the main source's .CHIP line names.
function chipOfMain(): string {
  const text = page.files.get(page.main)?.doc.toString() ?? '';
  const m = /^[ \t]+\.CHIP[ \t]+(\S+)/im.exec(text);
  return m ? m[1].toUpperCase() : '';
}

// Names `chip` in the main source: its .CHIP line changed, or one put first.
function setChip(chip: string) {
  const state = page.files.get(page.main);
  if (!state || !chip) return;
  const text = state.doc.toString();
  const m = /^([ \t]+\.CHIP[ \t]+)(\S+)/im.exec(text);
  const change = m
    ? { from: m.index + m[1].length, to: m.index + m[0].length, insert: chip }
    : { from: 0, to: 0, insert: '        .CHIP   ' + chip + '\n' };
  const next = state.update({ changes: change }).state;
  page.files.set(page.main, next);
  if (page.shown === page.main) view.setState(next);
}

function fillSelect(select: HTMLSelectElement, values: string[], chosen: string) {
  select.textContent = '';
  for (const value of values) select.append(new Option(value === '-1' ? 'none' : value, value));
  if (!values.includes(chosen) && chosen) select.append(new Option(chosen, chosen));
  select.value = chosen;
}

function renderSettings() {
  const chip = chipOfMain();
  const chipSelect = $<HTMLSelectElement>('chip');
  if (chip && ![...chipSelect.options].some((o) => o.value === chip)) chipSelect.append(new Option(chip, chip));
  chipSelect.value = chip;
  fillSelect($('rom-top'), ROM_TOPS, page.romTop);
  fillSelect($('table-top'), TABLE_TOPS, page.tableTop);
}

// ---- running ----

function scheduleRun() {
  clearTimeout(typingTimer);
  typingTimer = window.setTimeout(() => {
    assemble().catch((e) => {
      $('summary').textContent = 'The run failed: ' + e.message;
      $('summary').className = 'failed';
    });
  }, kTypingPauseMs);
}

function fileOf(d: Diagnostic): string {
  return d.file.replace(/^\/work\//, '').replace(/^\.\//, '');
}

function markDiagnostics() {
  const result = page.result;
  if (!result || !view) return;
  const doc = view.state.doc;
  const marks: CmDiagnostic[] = [];
  for (const d of result.diagnostics) {
    if (fileOf(d) !== page.shown || d.line < 1 || d.line > doc.lines) continue;
    const line = doc.line(d.line);
    const from = d.column > 0 ? Math.min(line.from + d.column - 1, line.to) : line.from;
    // The word at the column, or the whole line when none is named.
    const word = /^\S+/.exec(doc.sliceString(from, line.to));
    const to = d.column > 0 && word ? from + word[0].length : line.to;
    marks.push({
      from,
      to: Math.max(to, from),
      severity: d.severity === 'warning' ? 'warning' : d.severity === 'note' ? 'info' : 'error',
      message: d.message,
    });
  }
  view.dispatch(setDiagnostics(view.state, marks));
}

function moveTo(d: Diagnostic) {
  const file = fileOf(d);
  if (page.files.has(file) && file !== page.shown) showFile(file);
  const doc = view.state.doc;
  if (d.line < 1 || d.line > doc.lines) return;
  const line = doc.line(d.line);
  const pos = d.column > 0 ? Math.min(line.from + d.column - 1, line.to) : line.from;
  view.dispatch({ selection: { anchor: pos }, scrollIntoView: true });
  view.focus();
}

function renderDiagnostics(result: RunResult) {
  const list = $('diagnostics');
  list.textContent = '';
  for (const d of result.diagnostics) {
    const item = document.createElement('li');
    item.className = d.severity;
    const place = d.line > 0 ? `${fileOf(d)}:${d.line}${d.column ? ':' + d.column : ''}` : 'run';
    item.textContent = `${place}: ${d.severity}: ${d.message}`;
    item.onclick = () => moveTo(d);
    list.append(item);
  }
  $('summary').textContent =
    `${result.errors} error(s), ${result.warnings} warning(s), status ${result.status}` +
    ` — ${Math.round(result.milliseconds)} ms`;
  $('summary').className = result.status === 0 ? 'ok' : 'failed';
}

const OUTPUT_TABS: [string, string][] = [
  ['LST', 'Listing'],
  ['SYM', '.SYM'],
  ['MAP', '.MAP'],
  ['svg', 'ROM map'],
  ['ERR', '.ERR'],
];

function outputNamed(extension: string): [string, Uint8Array] | null {
  if (!page.result) return null;
  for (const [name, bytes] of Object.entries(page.result.outputs)) {
    if (name.toUpperCase().endsWith('.' + extension.toUpperCase())) return [name, bytes];
  }
  return null;
}

function renderOutputs() {
  const tabs = $('output-tabs');
  tabs.textContent = '';
  for (const [extension, label] of OUTPUT_TABS) {
    const tab = document.createElement('button');
    tab.className = 'tab' + (extension === page.outputTab ? ' active' : '');
    tab.textContent = label;
    tab.dataset.output = extension;
    tab.onclick = () => {
      page.outputTab = extension;
      renderOutputs();
    };
    tabs.append(tab);
  }
  const pane = $('output');
  pane.textContent = '';
  const found = outputNamed(page.outputTab);
  if (!found) {
    pane.textContent = page.result ? 'This run wrote no such file.' : 'Assembling…';
  } else if (page.outputTab === 'svg') {
    // The picture is our own SVG without scripts; parsed as XML, it keeps its titles.
    const svg = new DOMParser().parseFromString(new TextDecoder().decode(found[1]), 'image/svg+xml');
    pane.append(document.importNode(svg.documentElement, true));
  } else {
    const pre = document.createElement('pre');
    pre.textContent = new TextDecoder('latin1').decode(found[1]);
    pane.append(pre);
  }
  const downloads = $('downloads');
  downloads.textContent = 'Download: ';
  for (const url of page.downloads) URL.revokeObjectURL(url);
  page.downloads = [];
  for (const [name, bytes] of Object.entries(page.result?.outputs ?? {}).sort()) {
    const url = URL.createObjectURL(new Blob([bytes]));
    page.downloads.push(url);
    const link = document.createElement('a');
    link.href = url;
    link.download = name;
    link.textContent = name;
    downloads.append(link, ' ');
  }
}

function toResult(r: RunResult): AssembleResult {
  return {
    status: r.status,
    errors: r.errors,
    warnings: r.warnings,
    diagnostics: r.diagnostics,
    outputs: r.outputs,
  };
}

async function assemble(): Promise<AssembleResult> {
  clearTimeout(typingTimer);
  const result = await runner.run({
    files: texts(),
    main: page.main,
    options: { romTop: page.romTop, tableTop: page.tableTop },
  });
  page.result = result;
  renderDiagnostics(result);
  markDiagnostics();
  renderOutputs();
  renderSettings();
  // When the first result was on screen, in ms since the page began to load.
  if (!document.body.dataset.runs) document.body.dataset.firstResultMs = String(Math.round(performance.now()));
  document.body.dataset.runs = String(Number(document.body.dataset.runs ?? 0) + 1);
  return toResult(result);
}

// ---- the script interface ----

function setFiles(files: Record<string, string>, main?: string) {
  const names = Object.keys(files);
  if (names.length === 0) throw new Error('setFiles: no file');
  const chosen = main ?? names[0];
  if (!(chosen in files)) throw new Error('setFiles: ' + chosen + ' is not among the files');
  page.files = new Map(names.map((n) => [n, newState(files[n])]));
  page.main = chosen;
  page.shown = '';
  showFile(chosen);
  renderSettings();
  scheduleRun();
}

function setOptions(options: Options) {
  if (options.romTop !== undefined) page.romTop = String(options.romTop);
  if (options.tableTop !== undefined) page.tableTop = String(options.tableTop);
  if (options.chip) setChip(options.chip);
  renderSettings();
  scheduleRun();
}

async function shareAddress(): Promise<string> {
  const fragment = await encodeState({
    files: texts(),
    main: page.main,
    romTop: page.romTop,
    tableTop: page.tableTop,
  });
  return location.href.replace(/#.*$/, '') + '#' + fragment;
}

const api = {
  setFiles,
  setOptions,
  assemble,
  getFiles: texts,
  getOptions: () => ({ chip: chipOfMain(), romTop: page.romTop, tableTop: page.tableTop }),
  shareAddress,
  chips: () => runner.chips(),
};
declare global {
  interface Window {
    zqasm: typeof api & { ready: Promise<void> };
  }
}

// ---- start ----

async function loadExamples(): Promise<Record<string, Record<string, string>>> {
  return (await fetch('examples.json')).json();
}

const EXAMPLE_SETTINGS: Record<string, Options> = {
  'demo.asm': { romTop: '0FFFh', tableTop: '0FFh' },
  'banked.asm': { romTop: '2FFFh', tableTop: '-1' },
};

async function start() {
  view = new EditorView({ parent: $('editor') });
  const examples = loadExamples();
  const chipsPromise = runner.chips();

  const shared = await decodeState(location.hash);
  const exampleFiles = await examples;
  if (shared) {
    page.romTop = shared.romTop;
    page.tableTop = shared.tableTop;
    setFiles(shared.files, shared.main);
  } else {
    const demo = exampleFiles['demo.asm'] ? 'demo.asm' : Object.keys(exampleFiles)[0];
    setOptions(EXAMPLE_SETTINGS[demo] ?? {});
    setFiles(exampleFiles[demo], demo);
  }
  // The first run starts at once, without the pause left for typing.
  const first = assemble();

  const exampleMenu = $<HTMLSelectElement>('examples');
  exampleMenu.append(new Option('Examples…', ''));
  for (const name of Object.keys(exampleFiles)) exampleMenu.append(new Option(name, name));
  exampleMenu.onchange = () => {
    const name = exampleMenu.value;
    if (!name) return;
    setOptions(EXAMPLE_SETTINGS[name] ?? {});
    setFiles(exampleFiles[name], name);
    exampleMenu.value = '';
  };
  $<HTMLSelectElement>('chip').onchange = (e) => setOptions({ chip: (e.target as HTMLSelectElement).value });
  $<HTMLSelectElement>('rom-top').onchange = (e) => setOptions({ romTop: (e.target as HTMLSelectElement).value });
  $<HTMLSelectElement>('table-top').onchange = (e) =>
    setOptions({ tableTop: (e.target as HTMLSelectElement).value });
  $('share').onclick = async () => {
    const address = await shareAddress();
    history.replaceState(null, '', address);
    $<HTMLInputElement>('share-address').value = address;
    try {
      await navigator.clipboard.writeText(address);
    } catch {
      // Without clipboard access the address stays in the field to copy by hand.
    }
  };
  window.addEventListener('hashchange', async () => {
    const state = await decodeState(location.hash);
    if (!state) return;
    page.romTop = state.romTop;
    page.tableTop = state.tableTop;
    setFiles(state.files, state.main);
  });

  const chips = await chipsPromise;
  const chipSelect = $<HTMLSelectElement>('chip');
  chipSelect.textContent = '';
  for (const chip of chips) chipSelect.append(new Option(chip, chip));
  renderSettings();
  renderOutputs();
  await first.catch(() => undefined);
}

let markReady: () => void;
window.zqasm = Object.assign(api, { ready: new Promise<void>((resolve) => (markReady = resolve)) });
start().then(() => markReady());
