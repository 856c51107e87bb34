import * as assert from 'node:assert/strict';
import { test } from 'node:test';
import { languageConfiguration } from '../language_configuration';

test('folding markers', () => {
  const start = new RegExp(languageConfiguration.folding.markers.start);
  const end = new RegExp(languageConfiguration.folding.markers.end);
  const opens = ['SETREG .MACRO A', 'W .mac', ' .If X', '#ifdef F', 'x: .IFBLANK P'];
  opens.push('\t.data', ' .TABLE');
  const closes = ['        .ENDM', '  .endmacro', '#EndIf', '  .ENDD', 'x: .ENDTABLE'];
  // no directive: a comment, an operand, a keyword not ended by a blank, a longer word, .ELSE
  const neither = ['; .IF x', ' MOV .IF', ' .IFX 1', ' .ENDIF;x', ' .ENDMX', ' .END'];
  neither.push(' .ELSE', '#MAC');
  for (const line of opens) assert.ok(start.test(line) && !end.test(line), line);
  for (const line of closes) assert.ok(end.test(line) && !start.test(line), line);
  for (const line of neither) assert.ok(!start.test(line) && !end.test(line), line);
});

test('words', () => {
  const word = new RegExp(languageConfiguration.wordPattern, 'g');
  const words = (line: string) => line.match(word);
  assert.deepEqual(words('loop: MOV BUF\\1, 0FFh ; x?'), ['loop', 'MOV', 'BUF\\1', '0FFh', 'x?']);
  assert.deepEqual(words('  .IF A.gt.$1F || #DEFINE'), ['.IF', 'A', '.gt.', '$1F', '#DEFINE']);
});
