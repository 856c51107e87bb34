// Text as the language server sees it. The editor speaks UTF-8 JSON and counts columns
// in UTF-16 code units; the assembler reads 8-bit text and counts bytes. The server
// keeps every buffer as bytes, one byte per UTF-16 unit: characters up to U+00FF become
// their Latin-1 byte, any other character one "?" per UTF-16 unit. A byte column is then
// the editor's column, and what the assembler reports needs no conversion.
#ifndef ZQASM_TOOLS_LSP_TEXT_H_
#define ZQASM_TOOLS_LSP_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

namespace zqlsp {

// The editor's UTF-8 text as bytes (see above). Malformed UTF-8 bytes become "?".
std::string bytesFromUtf8(std::string_view utf8);
// Bytes read as Latin-1, as UTF-8 for the editor.
std::string utf8FromBytes(std::string_view bytes);

// The path a "file:" URI names ("file:///a%20b/x.asm" -> "/a b/x.asm"; on Windows
// "file:///c%3A/x.asm" -> "c:/x.asm"); empty for any other URI.
std::string pathFromUri(const std::string& uri);
// The "file:" URI of an absolute path ("\\" read as "/").
std::string uriFromPath(const std::string& path);

// The lines of a text without their line ends (LF, CR LF or a lone CR... as the
// assembler reads: LF ends a line, a CR before it is dropped).
std::vector<std::string> splitLines(const std::string& text);

// The byte offset of an LSP position in `text`. Lines end at LF, CR LF or a lone CR, as
// the protocol counts them (not as the assembler does); `character` counts UTF-16 units:
// one per byte of the server's bytes, or, when `utf8`, one per UTF-8 sequence (two for a
// character beyond the first plane). A column past its line's end stands at the line
// end, a line past the last at the end of the text, a negative one at 0.
size_t offsetOf(const std::string& text, int line, int character, bool utf8);
// Replaces the text between two LSP positions (as offsetOf finds them; two in the wrong
// order are taken the other way round) by `replacement`, as a ranged change of
// textDocument/didChange asks.
void applyChange(std::string& text, int startLine, int startCharacter, int endLine,
                 int endCharacter, const std::string& replacement, bool utf8);

// Characters of a name in the source (labels may hold "?" and "\\").
bool isNameChar(char c);

}  // namespace zqlsp

#endif  // ZQASM_TOOLS_LSP_TEXT_H_
