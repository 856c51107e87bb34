// zqasm-lsp: the language server of the ZQ assembler, over standard input and output.
//
//   zqasm-lsp [--chip-dir DIR]
//
// A thread reads the messages (transport.h) into a queue; the main thread handles them
// one by one (protocol.h) and makes the runs of the assembler when they are due. A run
// is abandoned as soon as a change of a source waits in the queue, so that typing never
// waits behind a run of a text that is already gone. The
// library writes nothing to standard output during a run but one diagnostic text, which
// must not end up among the messages: the messages go out through a copy of the
// standard output taken at the start, and standard output itself is pointed at
// standard error.
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define fdopen _fdopen
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "common/trap_warnings.h"
#include "platform/platform.h"
#include "protocol.h"
#include "transport.h"

namespace {

const char kUsage[] =
    "Usage: zqasm-lsp [--chip-dir DIR] [--warnings LIST]\n"
    "The language server of the ZQ assembler (Language Server Protocol 3.17 over standard\n"
    "input and output). Settings come from zqasm.json in the workspace root.\n"
    "  --chip-dir DIR  directory of the .COE chip files when zqasm.json names none\n"
    "                  (default: $ZQASM_CHIP_DIR, else the chips of the installation)\n"
    "  --warnings LIST the trap warnings when zqasm.json names none: 'all' (default),\n"
    "                  'none', or names separated by commas (undefined-in-condition,\n"
    "                  parameter-in-word, truncation, negative-unsigned, mixed-operators)\n";

// What the reader hands the main thread.
struct Message {
  zqlsp::ReadResult result;
  std::string body;
  bool change;  // it changes what the runs read (zqlsp::changesSources)
};
struct Inbox {
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<Message> messages;
  std::atomic<int> changes{0};  // queued messages that change the sources
};

std::string defaultChipDirectory() {
  const char* fromEnvironment = std::getenv("ZQASM_CHIP_DIR");
  if (fromEnvironment != nullptr && *fromEnvironment) return fromEnvironment;
  const std::string program = zq::executablePath();
  const size_t slash = program.find_last_of("/\\");
  if (slash != std::string::npos) {
    const std::string installed = program.substr(0, slash) + "/../share/zqasm/chips";
    if (!zq::resolveExistingName(installed).empty()) return zq::fullPath(installed);
  }
  return ZQASM_DEFAULT_CHIP_DIR;
}

}  // namespace

int main(int argc, char** argv) {
  std::string chipDirectory;
  bool chipDirectoryGiven = false;
  std::string warnings = "all";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::printf("zqasm-lsp %s\n", ZQASM_TOOL_VERSION);
      return 0;
    }
    if (arg == "--chip-dir" && i + 1 < argc) {
      chipDirectory = argv[++i];
      chipDirectoryGiven = true;
    } else if (arg.compare(0, 11, "--chip-dir=") == 0) {
      chipDirectory = arg.substr(11);
      chipDirectoryGiven = true;
    } else if (arg == "--warnings" || arg.compare(0, 11, "--warnings=") == 0) {
      if (arg == "--warnings" && i + 1 >= argc) {
        std::fprintf(stderr, "zqasm-lsp: --warnings needs a list\n%s", kUsage);
        return 2;
      }
      const std::string list = arg == "--warnings" ? argv[++i] : arg.substr(11);
      uint32_t bits = 0;
      std::string unknown;
      if (!zqcli::parseTrapWarnings(list, bits, unknown)) {
        std::fprintf(stderr, "zqasm-lsp: %s\n", zqcli::unknownTrapWarning(unknown).c_str());
        return 2;
      }
      warnings = zqcli::trapWarningList(bits);
    } else {
      std::fprintf(stderr, "zqasm-lsp: unknown argument %s\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }
  if (!chipDirectoryGiven) chipDirectory = defaultChipDirectory();

#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  // The messages go out through a copy of standard output; the library's one text on
  // standard output goes to standard error.
  std::fflush(stdout);
  const int protocolFd = dup(fileno(stdout));
  FILE* out = protocolFd >= 0 ? fdopen(protocolFd, "wb") : nullptr;
  if (out == nullptr) {
    std::fprintf(stderr, "zqasm-lsp: cannot take over standard output\n");
    return 1;
  }
  dup2(fileno(stderr), fileno(stdout));
#ifdef SIGPIPE
  // A client that goes away makes the writes fail; the reader then sees the input end.
  std::signal(SIGPIPE, SIG_IGN);
#endif

  zqlsp::Server server(
      chipDirectory,
      [out](const std::string& body) {
        const std::string framed = zqlsp::frame(body);
        std::fwrite(framed.data(), 1, framed.size(), out);
        std::fflush(out);
      },
      warnings);

  // The inbox is shared with the reader, which may still be blocked in a read when the
  // main thread ends the process.
  auto inbox = std::make_shared<Inbox>();
  std::thread reader([inbox]() {
    zqlsp::MessageReader messages(stdin);
    for (;;) {
      std::string body;
      const zqlsp::ReadResult result = messages.read(body);
      const bool change = result == zqlsp::ReadResult::kMessage && zqlsp::changesSources(body);
      {
        std::lock_guard<std::mutex> lock(inbox->mutex);
        inbox->messages.push_back(Message{result, std::move(body), change});
        if (change) ++inbox->changes;
      }
      inbox->ready.notify_one();
      if (result == zqlsp::ReadResult::kEnd) return;
    }
  });
  reader.detach();
  server.abandonRunsWhen([inbox]() { return inbox->changes.load(std::memory_order_relaxed) > 0; });

  int status = 1;  // the input ended without exit
  for (;;) {
    Message message{zqlsp::ReadResult::kEnd, std::string(), false};
    bool have = false;
    {
      std::unique_lock<std::mutex> lock(inbox->mutex);
      const auto waiting = [&inbox] { return !inbox->messages.empty(); };
      if (const auto due = server.deadline()) {
        inbox->ready.wait_until(lock, *due, waiting);
      } else {
        inbox->ready.wait(lock, waiting);
      }
      if (!inbox->messages.empty()) {
        message = std::move(inbox->messages.front());
        inbox->messages.pop_front();
        if (message.change) --inbox->changes;
        have = true;
      }
    }
    if (have) {
      if (message.result == zqlsp::ReadResult::kEnd) break;
      if (message.result == zqlsp::ReadResult::kMalformed) {
        server.malformed();
      } else {
        server.handle(message.body);
      }
      if (server.exited()) {
        status = server.exitCode();
        break;
      }
    }
    const auto due = server.deadline();
    if (due && zqlsp::Clock::now() >= *due) server.runDue();
  }
  std::fflush(out);
  // The reader may be blocked in a read that never returns: the process ends without
  // waiting for it.
  std::_Exit(status);
}
