// The TextMate grammar of ZQ assembly, built from shared pieces so that the label, name and
// keyword rules are written once. `npm run build` writes it to syntaxes/zqasm.tmLanguage.json
// (write_grammar.ts); the fixtures in test/grammar/ check it token by token.
//
// A grammar sees one line at a time and knows nothing of the chip, so it reads a statement by
// position: an optional label, then the operation word (a directive, or else a mnemonic or a
// macro call, which look alike here), then the operands. A word in the first column is a label,
// as the assembler takes it unless the chip knows the word as a mnemonic; the language server's
// semantic tokens tell the two apart where the grammar cannot.

export interface Capture {
  name?: string;
  patterns?: Rule[];
}
export type Captures = Record<string, Capture>;

export interface Rule {
  name?: string;
  contentName?: string;
  match?: string;
  begin?: string;
  end?: string;
  captures?: Captures;
  beginCaptures?: Captures;
  endCaptures?: Captures;
  patterns?: Rule[];
  include?: string;
}

export interface Grammar {
  name: string;
  scopeName: string;
  patterns: Rule[];
  repository: Record<string, Rule>;
}

const S = 'zqasm';

// Label, constant and RAM names: a letter, `_` or `?`, then letters, digits, `_`, `?` or `\`.
const NAME = String.raw`[A-Za-z_?][A-Za-z0-9_?\\]*`;
// #DEFINE names have no `?` or `\`.
const DEFINE_NAME = String.raw`[A-Za-z_][A-Za-z0-9_]*`;
// A directive keyword ends only at a blank, a tab or the end of the line: `.ENDIF;x` is not one.
const KEYWORD_END = String.raw`(?=[ \t]|$)`;
// A word that ends a field: blank, tab, comment or end of line.
const WORD_END = String.raw`(?=[ \t;]|$)`;

// The optional label in front of a statement: a name in the first column (its colon optional)
// or an indented name with its colon; then the blanks before the operation. Four groups.
const LABEL_PREFIX = String.raw`^(?:(${NAME})(?:(:)|(?=[ \t;]|$))|[ \t]+(${NAME})(:))?[ \t]*`;
const LABEL_GROUPS = 4;
const LABEL_CAPTURES: Captures = {
  '1': { name: `entity.name.label.${S}` },
  '2': { name: `punctuation.separator.label.${S}` },
  '3': { name: `entity.name.label.${S}` },
  '4': { name: `punctuation.separator.label.${S}` },
};

// Captures for a regex that starts with LABEL_PREFIX: `rest` lists the groups that follow it.
function withLabel(...rest: Capture[]): Captures {
  const captures: Captures = { ...LABEL_CAPTURES };
  rest.forEach((capture, i) => {
    captures[String(LABEL_GROUPS + 1 + i)] = capture;
  });
  return captures;
}

function anyOf(words: string[]): string {
  // Longest first, so that ENDMACRO is not taken as ENDM followed by more.
  return [...words].sort((a, b) => b.length - a.length || a.localeCompare(b)).join('|');
}

// Directives, by what they do. Every one is written with a leading `.`; the ones in HASH also
// with `#`. INCLUDE is read before the statement and takes both prefixes.
const CONDITIONAL = ['IF', 'IFDEF', 'IFNDEF', 'ELSEIF', 'ELSE', 'ENDIF', 'IFSAME', 'IFDIFF'];
const BLANK_TESTS = ['IFBLANK', 'IFNBLANK'];
const MACRO_HEAD = ['MACRO', 'MAC'];
const MACRO_END = ['ENDM', 'ENDMAC', 'ENDMACRO'];
const MACRO_OTHER = ['EXITMAC', 'EXITMACRO'];
const DATA_OPEN = ['DATA'];
const DATA_CLOSE = ['ENDD', 'ENDDATA'];
const TABLE_OPEN = ['TABLE'];
const TABLE_CLOSE = ['ENDT', 'ENDTAB', 'ENDTABLE'];
const CHIP = ['CHIP', 'CHIPNAME'];
const PLAIN = [
  'BYTE', 'DB', 'DW', 'WORD', 'DS', 'DSU', 'CODE', 'ENDC', 'HEAD', 'ENDH', 'ERROR', 'DNOVERLAP',
  'BANKCONVERTAREA', 'SORTLABELFILE', 'SORTEQUFILE', 'SORTRAMFILE',
];
const HASH = ['DEFINE', 'ELSE', 'ELSEIF', 'ENDIF', 'IF', 'IFDEF', 'IFNDEF', 'IFBLANK', 'IFNBLANK'];

// Every directive word (without its `.` or `#`), for highlighters that read words rather
// than this grammar's expressions (the playground's editor).
export const DIRECTIVE_WORDS = [
  ...CONDITIONAL, ...BLANK_TESTS, ...MACRO_HEAD, ...MACRO_END, ...MACRO_OTHER, ...DATA_OPEN,
  ...DATA_CLOSE, ...TABLE_OPEN, ...TABLE_CLOSE, ...CHIP, ...PLAIN, ...HASH, 'INCLUDE', 'ORG',
  'END', 'EQU', 'EQUAL', 'DEFSTRING',
];

const DIRECTIVE = `keyword.control.directive.${S}`;
const CONDITIONAL_SCOPE = `keyword.control.directive.conditional.${S}`;
const MACRO_SCOPE = `keyword.control.directive.macro.${S}`;

// `.WORD` in any case; with `hash`, `#WORD` too for the words that allow it.
function directive(words: string[], hash = false): string {
  const dotted = String.raw`\.(?i:${anyOf(words)})`;
  const hashed = words.filter((w) => HASH.includes(w));
  if (!hash || hashed.length === 0) return `(${dotted})${KEYWORD_END}`;
  return String.raw`(${dotted}|#(?i:${anyOf(hashed)}))${KEYWORD_END}`;
}

// A statement that starts with `head` (after the optional label) and runs to the end of the
// line with the patterns of `rest`.
function statement(head: string, headCaptures: Capture[], rest: Rule[]): Rule {
  return {
    begin: LABEL_PREFIX + head,
    beginCaptures: withLabel(...headCaptures),
    end: '$',
    patterns: rest,
  };
}

// A statement after which the assembler reads nothing more of the file: everything to the end
// of the file, the rest of this line included, is greyed out as ignored.
function endOfSource(begin: string, beginCaptures: Captures): Rule {
  return { begin, beginCaptures, end: '(?!)', contentName: `comment.block.ignored.${S}` };
}

const operands: Rule = { include: '#operands' };
const comment: Rule = { include: '#comment' };

const repository: Record<string, Rule> = {
  comment: {
    match: ';.*$',
    name: `comment.line.semicolon.${S}`,
  },

  // Everything that may stand in an operand field or a condition.
  operands: {
    patterns: [
      comment,
      {
        begin: '"',
        beginCaptures: { '0': { name: `punctuation.definition.string.begin.${S}` } },
        end: '"|$',
        endCaptures: { '0': { name: `punctuation.definition.string.end.${S}` } },
        name: `string.quoted.double.${S}`,
      },
      {
        // A character constant stands for the code of its first character; '' is 0.
        match: "(')[^']*(')",
        name: `constant.character.${S}`,
        captures: {
          '1': { name: `punctuation.definition.character.begin.${S}` },
          '2': { name: `punctuation.definition.character.end.${S}` },
        },
      },
      {
        match: String.raw`\.(?i:GT|GE|LT|LE|EQ|NE)\.`,
        name: `keyword.operator.comparison.word.${S}`,
      },
      {
        match: String.raw`\.(?i:AND|OR|NOT)\.`,
        name: `keyword.operator.logical.word.${S}`,
      },
      {
        match: String.raw`\.(?i:PARAMCOUNT)(?![A-Za-z0-9_?\\])`,
        name: `variable.language.paramcount.${S}`,
      },
      { include: '#number' },
      {
        // `$` alone, or `*` where an operand starts, is the address of the statement.
        match: String.raw`\$(?![0-9A-Fa-f])|(?<=[ \t,])\*(?=[+\-]|[ \t]*(?:[,;]|$))`,
        name: `variable.language.location-counter.${S}`,
      },
      { match: '<<|>>', name: `keyword.operator.bitwise.shift.${S}` },
      { match: String.raw`&&|\|\||!`, name: `keyword.operator.logical.${S}` },
      { match: '<>|>=|<=|==|=|<|>', name: `keyword.operator.comparison.${S}` },
      { match: String.raw`[&|^~]`, name: `keyword.operator.bitwise.${S}` },
      { match: String.raw`[*/%+\-]`, name: `keyword.operator.arithmetic.${S}` },
      { match: ',', name: `punctuation.separator.delimiter.${S}` },
      { match: String.raw`\(`, name: `punctuation.section.parens.begin.${S}` },
      { match: String.raw`\)`, name: `punctuation.section.parens.end.${S}` },
      { match: NAME, name: `variable.other.${S}` },
    ],
  },

  // Numbers: hexadecimal with an H suffix (starting with a digit) or a `$` prefix, binary with
  // a B suffix (at most 12 digits), decimal with an optional D suffix. Any other word that
  // starts with a digit (12AB, 0x10, 1020B) is no number the assembler reads.
  number: {
    patterns: [
      {
        match: String.raw`(?<![A-Za-z0-9_?\\$])[0-9][0-9A-Fa-f]*[Hh](?![A-Za-z0-9_?\\])`,
        name: `constant.numeric.hex.${S}`,
      },
      {
        match: String.raw`\$[0-9A-Fa-f]+(?![A-Za-z0-9_?\\])`,
        name: `constant.numeric.hex.${S}`,
      },
      {
        match: String.raw`(?<![A-Za-z0-9_?\\$])[01]{1,12}[Bb](?![A-Za-z0-9_?\\])`,
        name: `constant.numeric.binary.${S}`,
      },
      {
        match: String.raw`(?<![A-Za-z0-9_?\\$])[0-9]+[Dd]?(?![A-Za-z0-9_?\\])`,
        name: `constant.numeric.decimal.${S}`,
      },
      {
        match: String.raw`(?<![A-Za-z0-9_?\\$])[0-9][A-Za-z0-9_?\\]*`,
        name: `invalid.illegal.numeric.${S}`,
      },
    ],
  },

  // #include <defs.h>, .INCLUDE "DEFS.H", #include defs.h
  include: {
    begin: String.raw`^[ \t]*([.#](?i:include))`,
    beginCaptures: { '1': { name: `keyword.control.directive.include.${S}` } },
    end: '$',
    patterns: [
      comment,
      {
        match: '(<)([^>]*)(>)',
        name: `string.quoted.other.lt-gt.include.${S}`,
        captures: {
          '1': { name: `punctuation.definition.string.begin.${S}` },
          '3': { name: `punctuation.definition.string.end.${S}` },
        },
      },
      {
        match: '(")([^"]*)(")',
        name: `string.quoted.double.include.${S}`,
        captures: {
          '1': { name: `punctuation.definition.string.begin.${S}` },
          '3': { name: `punctuation.definition.string.end.${S}` },
        },
      },
      { match: String.raw`[^ \t;"<>]+`, name: `string.unquoted.include.${S}` },
    ],
  },

  // NAME EQU value (also .EQU, EQUAL, .EQUAL; a colon after the name is allowed).
  constant: {
    begin: String.raw`^[ \t]*(${NAME})(:)?[ \t]+(\.?(?i:EQUAL|EQU))(?=[ \t])`,
    beginCaptures: {
      '1': { name: `entity.name.constant.${S}` },
      '2': { name: `punctuation.separator.label.${S}` },
      '3': { name: DIRECTIVE },
    },
    end: '$',
    patterns: [operands],
  },

  // NAME DEFSTRING text: the text up to a `;` replaces an operand that is exactly NAME.
  string_definition: {
    begin: String.raw`^[ \t]*(${NAME})(:)?[ \t]+(\.?(?i:DEFSTRING|DEFSTR))(?=[ \t])[ \t]*([^;]*)`,
    beginCaptures: {
      '1': { name: `entity.name.constant.string.${S}` },
      '2': { name: `punctuation.separator.label.${S}` },
      '3': { name: DIRECTIVE },
      '4': { name: `string.unquoted.${S}` },
    },
    end: '$',
    patterns: [comment],
  },

  // ORG address (also .ORG); a label in front is an error, but the line is still an ORG line.
  org: statement(String.raw`(\.?(?i:ORG))(?=[ \t])`, [{ name: DIRECTIVE }], [operands]),

  // END or .END ends the file: nothing after it is read.
  end: endOfSource(
    String.raw`${LABEL_PREFIX}(\.?(?i:END))${WORD_END}`,
    withLabel({ name: DIRECTIVE }),
  ),

  // NAME .MACRO P1, P2 ... .ENDM: the name is the head's label; the body is stored, not run,
  // so no directive in it opens anything (a second .MACRO does not nest).
  macro: {
    begin:
      String.raw`^(?:(${NAME})(:)?|[ \t]+(${NAME})(:))?[ \t]*` +
      directive(MACRO_HEAD) +
      '([^;]*)',
    beginCaptures: {
      '1': { name: `entity.name.function.macro.${S}` },
      '2': { name: `punctuation.separator.label.${S}` },
      '3': { name: `entity.name.function.macro.${S}` },
      '4': { name: `punctuation.separator.label.${S}` },
      '5': { name: MACRO_SCOPE },
      '6': { patterns: [{ include: '#parameter_list' }] },
    },
    end: LABEL_PREFIX + String.raw`([.#](?i:ENDMACRO|ENDMAC|ENDM))${KEYWORD_END}`,
    endCaptures: withLabel({ name: MACRO_SCOPE }),
    name: `meta.macro.${S}`,
    patterns: [
      {
        match: LABEL_PREFIX + directive(MACRO_HEAD),
        captures: withLabel({ name: MACRO_SCOPE }),
      },
      { include: '#line' },
    ],
  },

  parameter_list: {
    patterns: [
      { match: NAME, name: `variable.parameter.${S}` },
      { match: ',', name: `punctuation.separator.delimiter.${S}` },
    ],
  },

  // .DATA ... .ENDD: NAME DN size lines name RAM; labels are not read there.
  data_segment: {
    begin: LABEL_PREFIX + directive(DATA_OPEN),
    beginCaptures: withLabel({ name: DIRECTIVE }),
    end: String.raw`^[ \t]*` + directive(DATA_CLOSE),
    endCaptures: { '1': { name: DIRECTIVE } },
    name: `meta.segment.data.${S}`,
    patterns: [
      comment,
      { include: '#segment_org' },
      // Labels are not read in a segment: only a bare .END ends the file there.
      endOfSource(String.raw`^[ \t]*(\.(?i:END))${KEYWORD_END}`, { '1': { name: DIRECTIVE } }),
      { include: '#constant' },
      {
        begin: String.raw`^[ \t]*(${NAME})[ \t]+(\.?(?i:DN))(?=[ \t])`,
        beginCaptures: {
          '1': { name: `entity.name.variable.ram.${S}` },
          '2': { name: DIRECTIVE },
        },
        end: '$',
        patterns: [operands],
      },
      { include: '#segment_directive' },
      operands,
    ],
  },

  // .TABLE ... .ENDT: address/value pairs (DN, DATA or none) and .DB/.DW/.DSU data.
  table_segment: {
    begin: LABEL_PREFIX + directive(TABLE_OPEN),
    beginCaptures: withLabel({ name: DIRECTIVE }),
    end: String.raw`^[ \t]*` + directive(TABLE_CLOSE),
    endCaptures: { '1': { name: DIRECTIVE } },
    name: `meta.segment.table.${S}`,
    patterns: [
      comment,
      { include: '#segment_org' },
      {
        match: String.raw`^[ \t]*(\.?(?i:DN|DATA))(?=[ \t])`,
        captures: { '1': { name: DIRECTIVE } },
      },
      { include: '#segment_directive' },
      operands,
    ],
  },

  segment_org: {
    begin: String.raw`^[ \t]*(\.?(?i:ORG))(?=[ \t])`,
    beginCaptures: { '1': { name: DIRECTIVE } },
    end: '$',
    patterns: [operands],
  },

  // Directives inside a segment: written without a label.
  segment_directive: {
    patterns: [
      { include: '#conditional' },
      { include: '#define' },
      { include: '#directive' },
      { include: '#unknown_directive' },
    ],
  },

  conditional: {
    patterns: [
      statement(
        directive(BLANK_TESTS, true) + String.raw`(?:[ \t]+(${NAME}))?`,
        [{ name: CONDITIONAL_SCOPE }, { name: `variable.parameter.${S}` }],
        [operands],
      ),
      statement(directive(CONDITIONAL, true), [{ name: CONDITIONAL_SCOPE }], [operands]),
    ],
  },

  // #DEFINE NAME [value]
  define: statement(
    directive(['DEFINE'], true) + String.raw`(?:[ \t]+(${DEFINE_NAME})${WORD_END})?`,
    [{ name: DIRECTIVE }, { name: `entity.name.constant.define.${S}` }],
    [operands],
  ),

  directive: {
    patterns: [
      statement(
        directive(CHIP) + String.raw`(?:[ \t]+([^ \t;]+))?`,
        [{ name: DIRECTIVE }, { name: `entity.name.type.chip.${S}` }],
        [operands],
      ),
      statement(
        directive(['LOCALLABEL']),
        [{ name: MACRO_SCOPE }],
        [
          comment,
          { match: NAME, name: `entity.name.label.local.${S}` },
          { match: ',', name: `punctuation.separator.delimiter.${S}` },
        ],
      ),
      statement(directive([...MACRO_OTHER, ...MACRO_END]), [{ name: MACRO_SCOPE }], [operands]),
      statement(
        directive([...PLAIN, ...DATA_OPEN, ...DATA_CLOSE, ...TABLE_OPEN, ...TABLE_CLOSE]),
        [{ name: DIRECTIVE }],
        [operands],
      ),
    ],
  },

  // A `.` or `#` word in the operation place that is no directive: the assembler cannot read it.
  unknown_directive: statement(
    String.raw`([.#][A-Za-z0-9_?\\.]*)`,
    [{ name: `invalid.illegal.directive.${S}` }],
    [operands],
  ),

  // Anything else in the operation place is an instruction mnemonic or a macro call.
  instruction: statement(
    `(${NAME})${WORD_END}`,
    [{ name: `keyword.other.mnemonic.${S}` }],
    [operands],
  ),

  // A label alone on its line (a lone word in the first column is taken for one).
  label_only: {
    match: String.raw`^(?:(${NAME})(:)?|[ \t]+(${NAME})(:))[ \t]*(?=;|$)`,
    captures: LABEL_CAPTURES,
  },

  // One line outside the segments, in the order the assembler tries them.
  line: {
    patterns: [
      { include: '#include' },
      { include: '#org' },
      { include: '#end' },
      { include: '#constant' },
      { include: '#string_definition' },
      { include: '#conditional' },
      { include: '#define' },
      { include: '#directive' },
      { include: '#unknown_directive' },
      { include: '#label_only' },
      { include: '#instruction' },
      comment,
    ],
  },
};

export const grammar: Grammar = {
  name: 'ZQ Assembly',
  scopeName: `source.${S}`,
  patterns: [
    { include: '#macro' },
    { include: '#data_segment' },
    { include: '#table_segment' },
    { include: '#line' },
  ],
  repository,
};
