// The VS Code side of zqasm: opens *.asm and *.inc files as ZQ assembly when the user asks for
// it (zqasm.associateFiles), and runs zqasm-lsp over stdio for the documents of that language.
// The server starts with the first ZQ assembly document, not with the editor, and restarts when
// its settings change.
import * as os from 'os';
import * as vscode from 'vscode';
import { LanguageClient, LanguageClientOptions, ServerOptions } from 'vscode-languageclient/node';
import { isAssemblySource, serverCommand, ServerCommand } from './server_command';

const kLanguage = 'zqasm';

let client: LanguageClient | undefined;
// The start in progress or done; undefined when no server runs.
let starting: Promise<void> | undefined;
// Documents this extension has switched to ZQ assembly (by URI), and those being switched. A
// document the user then sets to another language is left alone until it is closed: changing
// the language closes the document and opens it again, and that open must not switch it back.
const switched = new Set<string>();
const pending = new Set<string>();

function settings(): vscode.WorkspaceConfiguration {
  return vscode.workspace.getConfiguration(kLanguage);
}

function inlayHintSwitches(): { addresses: boolean; trampolines: boolean; constants: boolean } {
  const config = settings();
  return {
    addresses: config.get<boolean>('inlayHints.addresses', true),
    trampolines: config.get<boolean>('inlayHints.trampolines', true),
    constants: config.get<boolean>('inlayHints.constants', true),
  };
}

function currentCommand(): ServerCommand {
  const config = settings();
  const folder = vscode.workspace.workspaceFolders?.[0]?.uri.fsPath;
  return serverCommand(
    {
      path: config.get<string>('server.path', ''),
      chipDirectory: config.get<string>('server.chipDirectory', ''),
      warnings: config.get<string>('server.warnings', 'all'),
    },
    folder,
    os.homedir(),
  );
}

function startServer(): Promise<void> {
  if (starting) return starting;
  const { command, args } = currentCommand();
  const folder = vscode.workspace.workspaceFolders?.[0]?.uri.fsPath;
  // No `transport`: the client then speaks over the process's stdio as it is. Naming
  // TransportKind.stdio would add a --stdio argument, which zqasm-lsp does not take.
  const serverOptions: ServerOptions = {
    command,
    args,
    options: folder !== undefined ? { cwd: folder } : {},
  };
  // The inlay hint switches go with initialize and, as they change, in
  // workspace/didChangeConfiguration (the whole `zqasm` section); the server takes them
  // without a restart.
  const clientOptions: LanguageClientOptions = {
    documentSelector: [
      { scheme: 'file', language: kLanguage },
      { scheme: 'untitled', language: kLanguage },
    ],
    initializationOptions: { inlayHints: inlayHintSwitches() },
    synchronize: { configurationSection: kLanguage },
  };
  const created = new LanguageClient(
    kLanguage,
    'ZQ assembly (zqasm-lsp)',
    serverOptions,
    clientOptions,
  );
  client = created;
  starting = created.start().catch(async (error: unknown) => {
    // A missing executable is the usual cause: say which command was tried and where to set it.
    if (client === created) {
      client = undefined;
      starting = undefined;
    }
    await created.dispose().catch(() => undefined);
    const reason = error instanceof Error ? error.message : String(error);
    void vscode.window.showErrorMessage(
      `zqasm: cannot start the language server "${command}" (${reason}). ` +
        'Install zqasm-lsp on your PATH or set "zqasm.server.path".',
    );
  });
  return starting;
}

async function stopServer(): Promise<void> {
  const running = client;
  client = undefined;
  starting = undefined;
  if (running) await running.stop().catch(() => undefined);
}

async function restartServer(): Promise<void> {
  await stopServer();
  if (vscode.workspace.textDocuments.some((doc) => doc.languageId === kLanguage)) {
    await startServer();
  }
}

// The command of the server's code lenses ("3 references" on a label or macro): the
// references of the name at that place, in the peek view.
async function showReferences(
  uri: string,
  position: { line: number; character: number },
): Promise<void> {
  const document = vscode.Uri.parse(uri);
  const at = new vscode.Position(position.line, position.character);
  const locations =
    (await vscode.commands.executeCommand<vscode.Location[]>(
      'vscode.executeReferenceProvider',
      document,
      at,
    )) ?? [];
  await vscode.commands.executeCommand('editor.action.showReferences', document, at, locations);
}

function onOpen(doc: vscode.TextDocument): void {
  if (doc.languageId === kLanguage) {
    void startServer();
    return;
  }
  const key = doc.uri.toString();
  if (
    settings().get<boolean>('associateFiles', false) &&
    doc.uri.scheme === 'file' &&
    isAssemblySource(doc.fileName) &&
    !switched.has(key) &&
    !pending.has(key)
  ) {
    pending.add(key);
    // The document comes back through onOpen with the new language, which starts the server.
    vscode.languages.setTextDocumentLanguage(doc, kLanguage).then(
      () => {
        pending.delete(key);
        switched.add(key);
      },
      () => pending.delete(key),
    );
  }
}

function onClose(doc: vscode.TextDocument): void {
  // Closed for good (not a language change of ours): the next open may switch it again.
  if (doc.languageId !== kLanguage) switched.delete(doc.uri.toString());
}

export function activate(context: vscode.ExtensionContext): void {
  context.subscriptions.push(
    vscode.workspace.onDidOpenTextDocument(onOpen),
    vscode.workspace.onDidCloseTextDocument(onClose),
    vscode.workspace.onDidChangeConfiguration((event) => {
      if (event.affectsConfiguration(`${kLanguage}.server`)) void restartServer();
      if (event.affectsConfiguration(`${kLanguage}.associateFiles`)) {
        vscode.workspace.textDocuments.forEach(onOpen);
      }
    }),
    vscode.commands.registerCommand('zqasm.restartServer', restartServer),
    vscode.commands.registerCommand('zqasm.showReferences', showReferences),
  );
  vscode.workspace.textDocuments.forEach(onOpen);
}

export function deactivate(): Promise<void> {
  return stopServer();
}
