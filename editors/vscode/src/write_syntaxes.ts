// Writes the grammar (grammar.ts) to syntaxes/zqasm.tmLanguage.json and the language
// configuration (language_configuration.ts) to language-configuration.json, the files that
// package.json names; run by `npm run build` after tsc.
import * as fs from 'fs';
import * as path from 'path';
import { grammar } from './grammar';
import { languageConfiguration } from './language_configuration';

function write(relative: string, value: unknown): void {
  const target = path.join(__dirname, '..', relative);
  fs.mkdirSync(path.dirname(target), { recursive: true });
  fs.writeFileSync(target, JSON.stringify(value, null, 2) + '\n');
}

write(path.join('syntaxes', 'zqasm.tmLanguage.json'), grammar);
write('language-configuration.json', languageConfiguration);
