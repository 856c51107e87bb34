// The output file set: names derived from the main source and the four streams kept
// open for the run.
#include "services/output_files.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"
#include "services/persistent_settings.h"
#include "services/run.h"

namespace zq {

namespace {

// Longest full name findSourceFile makes (a 513-character buffer).
constexpr size_t kMaxFullName = 512;

}  // namespace

bool findSourceFile(const std::string& name, std::string& fullName) {
  if (persistentSettings().sourceOverlay.find(name, fullName) != nullptr) return true;
  // A full name that does not fit is not made: the name is used as given.
  fullName = fullPath(name);
  if (fullName.empty() || fullName.size() > kMaxFullName) fullName = name;
  // The full name is the file as stored on disk when there is one, so this open finds it
  // without resolving the name's case again (a directory listing per component).
  const int descriptor = openReadOnly(fullName);
  if (descriptor >= 0) ::close(descriptor);
  return descriptor >= 0;
}

void closeOutputStream(OutputFiles& files, FILE*& stream, const std::string& name) {
  if (stream == nullptr) return;
  // The error flag catches a write that failed earlier and left nothing for the close to
  // fail on; errno then no longer tells why, and is cleared so as not to name a cause.
  const bool writeFailed = std::ferror(stream) != 0;
  errno = 0;
  const bool closeFailed = std::fclose(stream) != 0;
  stream = nullptr;
  if (!writeFailed && !closeFailed) return;
  reportWriteFailure(files, name);
}

void reportWriteFailure(OutputFiles& files, const std::string& name) {
  files.writeFailed = true;
  showMessage("File \"%s\" create failed !\n", name.c_str());
  // A stream being closed was set to nullptr first, so a file never reports into itself.
  for (FILE* stream : {files.error, files.listing})
    if (stream != nullptr) std::fprintf(stream, "File \"%s\" create failed !\n", name.c_str());
}

void flushOutputStreams(OutputFiles& files) {
  const struct {
    FILE** stream;
    const std::string* name;
  } flushed[] = {{&files.symbol, &files.symName},
                 {&files.listing, &files.lstName},
                 {&files.map, &files.mapName}};
  for (const auto& f : flushed) {
    if (*f.stream == nullptr) continue;
    errno = 0;
    if (std::fflush(*f.stream) == 0 && std::ferror(*f.stream) == 0) continue;
    // The flush's reason is the one shown (0 when an earlier write failed and nothing was
    // left to fail now); the close cannot save the file any more.
    const int reason = errno;
    std::fclose(*f.stream);
    *f.stream = nullptr;
    errno = reason;
    reportWriteFailure(files, *f.name);
  }
}

void OutputFiles::close() {
  closeOutputStream(*this, symbol, symName);
  closeOutputStream(*this, listing, lstName);
  closeOutputStream(*this, error, errName);
  closeOutputStream(*this, map, mapName);
}

void replaceExtension(std::string& name, const char* extension, bool keep) {
  if (name.empty()) return;
  // The last "." anywhere counts, also one in a directory name.
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) {
    name += extension;
  } else if (!keep) {
    name.replace(dot, std::string::npos, extension);
  }
}

int prepareOutputFiles(AssemblerRun& run, const std::string& sourcePath) {
  // The source must exist; its resolved full name is the base of every output name.
  std::string fullName;
  if (!findSourceFile(sourcePath, fullName)) return -1;

  OutputFiles& files = run.files;
  files.close();

  // In the order hosts know them; only the ".LST", ".SYM", ".ERR" and ".MAP" streams
  // are opened here, the other files by the writers that fill them.
  struct Derived {
    std::string* name;
    const char* extension;
  };
  const Derived derived[] = {
      {&files.hexName, ".HEX"}, {&files.objName, ".OBJ"}, {&files.lstName, ".LST"},
      {&files.lblName, ".LBL"}, {&files.errName, ".ERR"}, {&files.symName, ".SYM"},
      {&files.equName, ".EQU"}, {&files.tabName, ".TAB"}, {&files.binName, ".BIN"},
      {&files.mapName, ".MAP"}, {&files.ramName, ".RAM"}, {&files.jmpName, ".JMP"},
  };
  // A host's output stem takes each extension as it is: its own dots belong to the name.
  const std::string& stem = persistentSettings().outputStem;
  const std::string stemName = stem.empty() ? std::string() : fullPath(stem);
  for (const Derived& d : derived) {
    if (stemName.empty()) {
      *d.name = fullName;
      replaceExtension(*d.name, d.extension, false);
    } else {
      *d.name = stemName + d.extension;
    }
  }

  files.tabHexName = files.tabName + ".HEX";
  // A program image named by the host keeps its name as given, extension and all.
  const std::string& image = persistentSettings().imageName;
  if (!image.empty()) files.objName = fullPath(image);
  files.intelHex = persistentSettings().intelHex;
  const std::string& binary = persistentSettings().binaryImageName;
  files.binaryName = binary.empty() ? std::string() : fullPath(binary);
  files.kinds = persistentSettings().outputKinds;

  files.enabled = persistentSettings().writeOutputs;
  if (!files.enabled) return 1;

  // A stale ".JMP" goes, whatever the case of its stored name; a missing one is fine.
  // Only a file is removed, never an empty directory of that name.
  const std::string staleJump = resolveExistingName(files.jmpName);
  if (!staleJump.empty()) deleteFile(staleJump);

  struct Created {
    FILE** stream;
    const std::string* name;
    uint32_t kind;
  };
  const Created created[] = {
      {&files.listing, &files.lstName, kOutputLst},
      {&files.symbol, &files.symName, kOutputSym},
      {&files.error, &files.errName, kOutputErr},
      {&files.map, &files.mapName, kOutputMap},
  };
  for (const Created& c : created) {
    // A stream the host left out stays closed; its writers skip it.
    if (!files.wants(c.kind)) continue;
    // Created with the derived name exactly as made (extension in upper case).
    *c.stream = openFile(*c.name, "w");
    if (*c.stream == nullptr) {
      // The streams opened before stay open until the next close.
      reportWriteFailure(files, *c.name);
      return -1;
    }
  }
  return 1;
}

void closeOutputFiles(AssemblerRun& run) { run.files.close(); }

}  // namespace zq
