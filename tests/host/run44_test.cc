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

// A host sees the shared library only through its exports.
TEST(Run44AssemblerTest, SharedLibraryExportsOnlyItsInterface) {
  void* library = dlopen(ZQASM_TEST_SHARED_LIB, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  using Entry = int (*)(AssemblerParams*);
  auto entry = reinterpret_cast<Entry>(dlsym(library, "Run44Assembler"));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(dlsym(library, "ZqasmSetMessageSink"), nullptr);
  using SetWarnings = int (*)(const char*);
  auto setWarnings = reinterpret_cast<SetWarnings>(dlsym(library, "ZqasmSetWarnings"));
  ASSERT_NE(setWarnings, nullptr);
  EXPECT_EQ(setWarnings("nosuch"), -1);
  EXPECT_EQ(setWarnings(""), 0);
  EXPECT_EQ(dlsym(library, "_ZN2zq11runAssemblyEP15AssemblerParams"), nullptr);

  TempDir dir;
  auto params = zqtest::makeParams(dir.file("missing.asm"));
  EXPECT_EQ(entry(params.get()), -1);
  EXPECT_STREQ(params->versionText, kVersion);
  dlclose(library);
}

}  // namespace
