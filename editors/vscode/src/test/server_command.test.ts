import * as assert from 'node:assert/strict';
import { test } from 'node:test';
import { isAssemblySource, serverCommand } from '../server_command';

test('server command from the settings', () => {
  const home = '/home/u';
  const cases: Array<[string, string, string | undefined, string, string[]]> = [
    // path, chipDirectory, workspace folder -> command, args
    ['', '', '/ws', 'zqasm-lsp', []],
    ['my-lsp', '', '/ws', 'my-lsp', []], // a bare name stays for the PATH lookup
    ['build/tools/lsp/zqasm-lsp', '', '/ws', '/ws/build/tools/lsp/zqasm-lsp', []],
    ['build/zqasm-lsp', '', undefined, 'build/zqasm-lsp', []],
    ['${workspaceFolder}/bin/zqasm-lsp', '', '/ws', '/ws/bin/zqasm-lsp', []],
    ['~/bin/lsp', '${userHome}/chips', '/ws', '/home/u/bin/lsp', ['--chip-dir', '/home/u/chips']],
    ['/opt/zq/zqasm-lsp', 'chips', '/ws', '/opt/zq/zqasm-lsp', ['--chip-dir', '/ws/chips']],
    ['zqasm-lsp', '/opt/chips', undefined, 'zqasm-lsp', ['--chip-dir', '/opt/chips']],
  ];
  for (const [path, chipDirectory, folder, command, args] of cases) {
    assert.deepEqual(serverCommand({ path, chipDirectory }, folder, home), { command, args }, path);
  }
  // The trap warnings: the server's default "all" is not passed.
  const warnings: Array<[string, string[]]> = [
    ['all', []],
    ['', []],
    ['none', ['--warnings', 'none']],
    [' truncation,mixed-operators ', ['--warnings', 'truncation,mixed-operators']],
  ];
  for (const [value, args] of warnings) {
    assert.deepEqual(
      serverCommand({ path: '', chipDirectory: '', warnings: value }, '/ws', home),
      { command: 'zqasm-lsp', args },
      value,
    );
  }
});

test('files opened as ZQ assembly', () => {
  for (const name of ['prog.asm', 'PROG.ASM', '/src/defs.Inc', 'a.b.inc']) {
    assert.ok(isAssemblySource(name), name);
  }
  for (const name of ['prog.s', 'prog.asmx', 'asm', '/x.asm/defs.h', 'prog.inc.bak']) {
    assert.ok(!isAssemblySource(name), name);
  }
});
