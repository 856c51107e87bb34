// The few messages between the page and its worker, which owns the WebAssembly module.
// The page sends a RunRequest or a ChipsRequest; the worker answers with the same id.

export interface RunOptions {
  romTop: string; // as the command line takes it: "0FFFh"
  tableTop: string; // "-1" for no table ROM
}

export interface RunRequest {
  kind: 'run';
  id: number;
  files: Record<string, string>;
  main: string;
  options: RunOptions;
}

export interface ChipsRequest {
  kind: 'chips';
  id: number;
}

export interface Diagnostic {
  file: string;
  line: number; // 1-based; 0 when the diagnostic names no line
  column: number; // 1-based; 0 when not told
  severity: 'error' | 'warning' | 'fatal' | 'note';
  message: string;
}

export interface RunResult {
  kind: 'run';
  id: number;
  status: number; // the command line's exit status
  errors: number;
  warnings: number;
  diagnostics: Diagnostic[];
  outputs: Record<string, Uint8Array>; // every file the run wrote, by name
  stdout: string;
  stderr: string;
  milliseconds: number;
}

export interface ChipsResult {
  kind: 'chips';
  id: number;
  chips: string[];
}

// One line of the command line's editor-style diagnostics:
//   FILE:LINE:COLUMN: error: TEXT [E12]   (the column optional)
//   zqasm: fatal: TEXT
export function parseDiagnostic(text: string): Diagnostic | null {
  const placed = /^(.+?):(\d+):(?:(\d+):)? (error|warning|note): (.*)$/.exec(text);
  if (placed) {
    return {
      file: placed[1],
      line: Number(placed[2]),
      column: placed[3] ? Number(placed[3]) : 0,
      severity: placed[4] as Diagnostic['severity'],
      message: placed[5],
    };
  }
  const fatal = /^zqasm: fatal: (.*)$/.exec(text);
  if (fatal) return { file: '', line: 0, column: 0, severity: 'fatal', message: fatal[1] };
  return null;
}

// The totals line "N Error(s), M Warning(s)".
export function parseTotals(text: string): { errors: number; warnings: number } | null {
  const m = /^(\d+) Error\(s\), (\d+) Warning\(s\)$/.exec(text.trim());
  return m ? { errors: Number(m[1]), warnings: Number(m[2]) } : null;
}
