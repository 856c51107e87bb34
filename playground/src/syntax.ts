// Colouring of ZQ assembly in the editor: a line-by-line tokenizer (CodeMirror's stream
// parser) over the directive words of the VS Code extension's grammar, so that the two
// editors know the same words.
import { StreamLanguage, StringStream } from '@codemirror/language';
import { DIRECTIVE_WORDS } from '../../editors/vscode/src/grammar';

const directives = new Set(DIRECTIVE_WORDS.map((w) => w.toUpperCase()));
const NAME = /^[A-Za-z_?][A-Za-z0-9_?\\]*/;
// 0x1F, 1Fh, 0101b, 12: a number starts with a digit.
const NUMBER = /^(?:0x[0-9a-f]+|[0-9][0-9a-f]*h|[01]+b|[0-9]+)(?![A-Za-z0-9_])/i;

interface LineState {
  // Where the statement is: before its operation word, or in the operands.
  field: 'start' | 'operation' | 'operands';
}

export const zqasmLanguage = StreamLanguage.define<LineState>({
  name: 'zqasm',
  startState: () => ({ field: 'start' }),
  token(stream: StringStream, state: LineState): string | null {
    if (stream.sol()) state.field = 'start';
    if (stream.eatSpace()) {
      if (state.field === 'start') state.field = 'operation';
      return null;
    }
    if (stream.peek() === ';') {
      stream.skipToEnd();
      return 'comment';
    }
    if (stream.match(/^"[^"]*"?/) || stream.match(/^'[^']*'?/)) return 'string';
    if (state.field === 'start' && stream.match(NAME)) {
      const word = stream.current().toUpperCase();
      if (directives.has(word)) {
        state.field = 'operands';
        return 'keyword';
      }
      stream.eat(':');
      state.field = 'operation';
      return 'labelName';
    }
    if (state.field === 'operation') {
      if (stream.match(/^[.#][A-Za-z]+/)) {
        state.field = 'operands';
        return directives.has(stream.current().slice(1).toUpperCase()) ? 'keyword' : 'invalid';
      }
      const name = stream.match(NAME);
      if (name) {
        // "NAME: NOP" in a later column, or NAME EQU value.
        if (stream.eat(':')) return 'labelName';
        state.field = 'operands';
        return directives.has(stream.current().toUpperCase()) ? 'keyword' : 'operatorKeyword';
      }
    }
    if (stream.match(NUMBER)) return 'number';
    if (stream.match(/^\.(?:GT|GE|LT|LE|EQ|NE)\./i)) return 'operator';
    if (stream.match(NAME)) {
      return directives.has(stream.current().toUpperCase()) ? 'keyword' : 'variableName';
    }
    stream.next();
    return 'operator';
  },
  languageData: { commentTokens: { line: ';' } },
});
