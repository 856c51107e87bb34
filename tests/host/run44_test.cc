#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_support.h"
#include "zqasm/assembler.h"

namespace {

using zqtest::TempDir;

const char kVersion[] = "Assembler Version 4.6.1";

// Every call writes the version text first, also when the run fails at once; a null
// block is refused.
TEST(Run44AssemblerTest, WritesVersionTextOnEveryCall) {
  EXPECT_EQ(Run44Assembler(nullptr), -1);
  TempDir dir;
  auto params = zqtest::makeParams(dir.file("missing.asm"));
  for (int call = 0; call < 2; ++call) {
    std::memset(params->versionText, 'X', sizeof params->versionText);
    EXPECT_EQ(Run44Assembler(params.get()), -1);
    EXPECT_STREQ(params->versionText, kVersion);
  }
}

// A host sees the shared library through its exports alone: the entry point, the reset of
// the settings that carry over between runs and the trap warning switch. Without the reset
// a DATA segment goes on from where the last run's stopped; with it, the same source gives
// the same .RAM run after run.
TEST(Run44AssemblerTest, SharedLibraryExportsItsInterfaceAlone) {
  void* library = dlopen(ZQASM_TEST_SHARED_LIB, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  using Entry = int (*)(AssemblerParams*);
  using Reset = void (*)(void);
  auto entry = reinterpret_cast<Entry>(dlsym(library, "Run44Assembler"));
  auto reset = reinterpret_cast<Reset>(dlsym(library, "ZqasmResetRunSettings"));
  ASSERT_NE(entry, nullptr);
  ASSERT_NE(reset, nullptr);
  EXPECT_EQ(dlsym(library, "ZqasmSetMessageSink"), nullptr);
  using SetWarnings = int (*)(const char*);
  auto setWarnings = reinterpret_cast<SetWarnings>(dlsym(library, "ZqasmSetWarnings"));
  ASSERT_NE(setWarnings, nullptr);
  EXPECT_EQ(setWarnings("nosuch"), -1);
  EXPECT_EQ(setWarnings(""), 0);
  EXPECT_EQ(dlsym(library, "_ZN2zq11runAssemblyEP15AssemblerParams"), nullptr);

  TempDir dir;
  auto missing = zqtest::makeParams(dir.file("missing.asm"));
  EXPECT_EQ(entry(missing.get()), -1);
  EXPECT_STREQ(missing->versionText, kVersion);

  zqtest::writeFile(dir.file("ram.asm"),
                    ".CHIP ZQ4460\n .DATA\nFLAGS DN 2\n .ENDD\n ORG 0\n NOP\n");
  auto params = zqtest::makeParams(dir.file("ram.asm"));
  auto ramOfRun = [&]() {
    EXPECT_EQ(entry(params.get()), 1);
    return zqtest::readFile(dir.file("ram.RAM"));
  };
  reset();
  const std::string first = ramOfRun();
  const std::string carried = ramOfRun();
  reset();
  const std::string again = ramOfRun();
  EXPECT_NE(first.find("FLAGS  000h\n"), std::string::npos) << first;
  EXPECT_NE(carried, first);
  EXPECT_EQ(again, first);
  dlclose(library);
}

}  // namespace
