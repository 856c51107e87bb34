// The editor's language configuration for ZQ assembly (comments, brackets, words, folding),
// written to language-configuration.json by `npm run build` (write_syntaxes.ts). VS Code reads
// these regexes as JavaScript regexes and ignores their flags, so case is spelt out per letter.

// `macro` gives [Mm][Aa][Cc][Rr][Oo].
function anyCase(word: string): string {
  return [...word]
    .map((c) => (/[A-Za-z]/.test(c) ? `[${c.toUpperCase()}${c.toLowerCase()}]` : c))
    .join('');
}

function keywords(words: string[]): string {
  return [...words].sort((a, b) => b.length - a.length).map(anyCase).join('|');
}

const NAME = String.raw`[A-Za-z_?][A-Za-z0-9_?\\]*`;
// An optional label in front of a directive: in the first column, or indented with its colon.
const LABEL = String.raw`(?:${NAME}:?|[ \t]+${NAME}:)?[ \t]*`;
// A directive keyword ends at a blank, a tab or the end of the line.
const END = String.raw`(?=[ \t]|$)`;

// Folded regions: a macro definition, a conditional and the RAM and table segments.
const HASH_OPEN = ['IF', 'IFDEF', 'IFNDEF', 'IFBLANK', 'IFNBLANK'];
const OPEN = [...HASH_OPEN, 'IFSAME', 'IFDIFF', 'MACRO', 'MAC', 'DATA', 'TABLE'];
const CLOSE = [
  'ENDIF', 'ENDM', 'ENDMAC', 'ENDMACRO', 'ENDD', 'ENDDATA', 'ENDT', 'ENDTAB', 'ENDTABLE',
];
const foldStart = `^${LABEL}(?:\\.(?:${keywords(OPEN)})|#(?:${keywords(HASH_OPEN)}))${END}`;
const foldEnd = `^${LABEL}(?:\\.(?:${keywords(CLOSE)})|#${anyCase('ENDIF')})${END}`;

// A word: an operator word such as .GT., a name (with its `.` or `#` when it is a directive),
// a `$` hexadecimal number, or a number with its suffix.
const wordPattern =
  `\\.(?:${keywords(['GT', 'GE', 'LT', 'LE', 'EQ', 'NE', 'AND', 'OR', 'NOT'])})\\.` +
  `|[.#]?${NAME}|\\$[0-9A-Fa-f]+|[0-9][0-9A-Za-z]*`;

export const languageConfiguration = {
  comments: { lineComment: ';' },
  brackets: [['(', ')']],
  autoClosingPairs: [
    { open: '(', close: ')' },
    { open: '"', close: '"', notIn: ['string', 'comment'] },
    { open: "'", close: "'", notIn: ['string', 'comment'] },
  ],
  surroundingPairs: [
    ['(', ')'],
    ['"', '"'],
    ["'", "'"],
    ['<', '>'],
  ],
  wordPattern,
  folding: { markers: { start: foldStart, end: foldEnd } },
};
