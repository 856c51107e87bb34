// Texts that stand in for source files: the unsaved buffers of an editor, handed over by
// a host (a language server) so that a run reads them instead of the files on disk. The
// source opener of the pass loop looks here before it looks at the file system; chip and
// mask option files are always read from disk.
#ifndef ZQASM_PLATFORM_SOURCE_OVERLAY_H_
#define ZQASM_PLATFORM_SOURCE_OVERLAY_H_

#include <map>
#include <string>

namespace zq {

class SourceOverlay {
 public:
  // Sets the text read for `name`, kept under the name made absolute (fullPath). False
  // for an empty name.
  bool set(const std::string& name, std::string text);
  // Removes the text of `name` (looked up as by find); nothing when there is none.
  void remove(const std::string& name);
  void clear() { texts_.clear(); }
  bool empty() const { return texts_.empty(); }

  // The text that stands for `name`, or nullptr. The name is made absolute; the key equal
  // to it wins, else the one key equal to it without regard to case (names follow the
  // Windows conventions of the sources, as on disk; two such keys make a miss).
  // `fullName` receives the key found.
  const std::string* find(const std::string& name, std::string& fullName) const;

 private:
  std::map<std::string, std::string> texts_;  // full name -> text
};

}  // namespace zq

#endif  // ZQASM_PLATFORM_SOURCE_OVERLAY_H_
