// The page's pure parts, bundled for Node with esbuild: the reading of the command line's
// diagnostics and totals, and the share address (CompressionStream exists in Node too).
import * as esbuild from 'esbuild';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { test } from 'node:test';

const here = path.dirname(new URL(import.meta.url).pathname);
const out = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'zqasm-units-')), 'units.mjs');
fs.writeFileSync(out + '.ts', `export * from '${here}/../src/protocol';\nexport * from '${here}/../src/share';\n`);
await esbuild.build({ entryPoints: [out + '.ts'], bundle: true, format: 'esm', outfile: out, logLevel: 'error' });
const { parseDiagnostic, parseTotals, encodeState, decodeState } = await import(out);

test('diagnostic lines of the editor style', () => {
  const cases = [
    ["bad.asm:2:9: error: illegal opcode 'FOO' [E1]",
      { file: 'bad.asm', line: 2, column: 9, severity: 'error', message: "illegal opcode 'FOO' [E1]" }],
    // No column; a colon inside the message stays in it.
    ['main.asm:6: error: Destination address out of current page [E44]',
      { file: 'main.asm', line: 6, column: 0, severity: 'error', message: 'Destination address out of current page [E44]' }],
    ["main.asm:4039: note: in expansion of macro 'SPINM' (defined at main.asm:4)",
      { file: 'main.asm', line: 4039, column: 0, severity: 'note', message: "in expansion of macro 'SPINM' (defined at main.asm:4)" }],
    ['sub dir/a b.inc:12:3: warning: text: with colons [W7] [-Wtruncation]',
      { file: 'sub dir/a b.inc', line: 12, column: 3, severity: 'warning', message: 'text: with colons [W7] [-Wtruncation]' }],
    ['zqasm: fatal: Occurred FATAL ERROR !',
      { file: '', line: 0, column: 0, severity: 'fatal', message: 'Occurred FATAL ERROR !' }],
  ];
  for (const [line, expected] of cases) assert.deepEqual(parseDiagnostic(line), expected, line);
  // The source line and caret under a diagnostic on a terminal, the totals, other text.
  for (const line of ['   2 |         FOO 1', '     |         ^~~', '1 Error(s), 0 Warning(s)',
    'zqasm: bad.asm: No such file or directory', 'x.asm:: error: no line']) {
    assert.equal(parseDiagnostic(line), null, line);
  }
});

test('totals line', () => {
  assert.deepEqual(parseTotals('12 Error(s), 3 Warning(s)'), { errors: 12, warnings: 3 });
  assert.deepEqual(parseTotals('0 Error(s), 0 Warning(s)  '), { errors: 0, warnings: 0 });
  assert.equal(parseTotals('Error(s), 3 Warning(s)'), null);
});

test('share address round trip and damaged addresses', async () => {
  const state = {
    files: { 'main.asm': '        .CHIP ZQ4460\n; Grüße ✓\n'.repeat(200), 'a.inc': '' },
    main: 'main.asm', romTop: '2FFFh', tableTop: '-1',
  };
  const fragment = await encodeState(state);
  assert.match(fragment, /^s=[A-Za-z0-9_-]+$/);
  assert.ok(fragment.length < 600, `${fragment.length} characters: the repeated text compresses`);
  assert.deepEqual(await decodeState('#' + fragment), state);

  assert.equal(await decodeState(''), null);
  assert.equal(await decodeState('#s=' + fragment.slice(2, 20)), null); // cut short
  assert.equal(await decodeState('#s=not+base64url'), null);
  // A main source that is not among the files falls back to the first file; a file that
  // is no text is dropped.
  const odd = await encodeState({ files: { 'x.asm': 'NOP', 'y.asm': 42 }, main: 'gone.asm' });
  const restored = await decodeState(odd);
  assert.deepEqual(restored.files, { 'x.asm': 'NOP' });
  assert.equal(restored.main, 'x.asm');
  assert.equal(restored.tableTop, '-1');
});
