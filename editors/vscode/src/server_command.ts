// How the extension starts zqasm-lsp and which files it opens as ZQ assembly: plain functions
// of the settings, kept apart from the VS Code API so that node's test runner can check them.
import * as path from 'path';

export interface ServerSettings {
  // zqasm.server.path: a command name looked up on PATH, or a path to the executable.
  path: string;
  // zqasm.server.chipDirectory: passed as --chip-dir when not empty.
  chipDirectory: string;
  // zqasm.server.warnings: the trap warnings ("all", "none" or names separated by commas),
  // passed as --warnings when not "all" (the server's default). Absent: "all".
  warnings?: string;
}

export interface ServerCommand {
  command: string;
  args: string[];
}

export const kDefaultServer = 'zqasm-lsp';

// Replaces ${workspaceFolder} and ${userHome}, and a leading `~` followed by a separator (or
// alone), as VS Code's own settings do. A ${workspaceFolder} without a folder stays as written,
// so the error names what the user wrote.
export function expandVariables(
  value: string,
  workspaceFolder: string | undefined,
  home: string,
): string {
  let result = value.replace(/\$\{userHome\}/g, home);
  if (workspaceFolder !== undefined) {
    result = result.replace(/\$\{workspaceFolder\}/g, workspaceFolder);
  }
  if (result === '~' || /^~[\\/]/.test(result)) result = home + result.slice(1);
  return result;
}

// A path with a directory part is taken from the workspace folder when relative; a bare name
// (no separator) is left to the PATH lookup of the process start.
function resolvePath(value: string, workspaceFolder: string | undefined): string {
  const hasDirectory = /[\\/]/.test(value);
  if (!hasDirectory || path.isAbsolute(value) || workspaceFolder === undefined) return value;
  return path.resolve(workspaceFolder, value);
}

export function serverCommand(
  settings: ServerSettings,
  workspaceFolder: string | undefined,
  home: string,
): ServerCommand {
  const command = expandVariables(settings.path.trim(), workspaceFolder, home) || kDefaultServer;
  const args: string[] = [];
  const chips = expandVariables(settings.chipDirectory.trim(), workspaceFolder, home);
  if (chips !== '') {
    // A chip directory is always a directory: relative means relative to the workspace.
    const dir = workspaceFolder !== undefined && !path.isAbsolute(chips)
      ? path.resolve(workspaceFolder, chips)
      : chips;
    args.push('--chip-dir', dir);
  }
  const warnings = (settings.warnings ?? '').trim();
  if (warnings !== '' && warnings !== 'all') args.push('--warnings', warnings);
  return { command: resolvePath(command, workspaceFolder), args };
}

// The files that zqasm.associateFiles opens as ZQ assembly: *.asm and *.inc in any case.
export function isAssemblySource(fileName: string): boolean {
  return /\.(asm|inc)$/i.test(fileName);
}
