/* A host as development environments are: loads zqasm.dll with LoadLibraryA, finds
 * Run44Assembler (and ZqasmSetWarnings, for a case that asks for warnings) with
 * GetProcAddress, fills a zeroed block and checks what comes back.
 *   host CHIPDIR case [CHIP]  one end-to-end case in the current directory (its case.ini);
 *                             CHIP, when given, is the chip name the block must receive
 *   host CHIPDIR bad          the bad-input checks, in a scratch current directory
 * Output files are compared by run_cases.sh. Exit status 0 when every check passed. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "zqasm/assembler.h"

typedef int (*Entry)(AssemblerParams*);
typedef int (*SetWarnings)(const char*);
static int failures;

#define CHECK(condition, ...) \
  ((condition)                \
       ? (void)0              \
       : (failures++, printf("FAILED %s: ", #condition), printf(__VA_ARGS__), putchar('\n')))

static AssemblerParams* newBlock(const char* chipDir, const char* source) {
  AssemblerParams* p = calloc(1, sizeof *p);
  snprintf(p->sourcePath, sizeof p->sourcePath, "%s", source);
  snprintf(p->chipDirectory, sizeof p->chipDirectory, "%s", chipDir);
  p->programRomTop = 0xFFF;
  p->tableRomTop = -1;
  return p;
}

static void run(Entry entry, AssemblerParams* p, int expected) {
  int result = entry(p);
  CHECK(result == expected, "%.258s returned %d", p->sourcePath, result);
  CHECK(strcmp(p->versionText, "Assembler Version 4.6.1") == 0, "version %.64s", p->versionText);
}

static int fileHas(const char* name, const char* text) {
  static char content[65536];
  FILE* f = fopen(name, "rb");
  size_t n = f ? fread(content, 1, sizeof content - 1, f) : 0;
  if (f) fclose(f);
  content[n] = '\0';
  return f != NULL && strstr(content, text) != NULL;
}

static void runCase(Entry entry, SetWarnings setWarnings, const char* chipDir, const char* chip) {
  char line[600], key[64], value[520], cwd[MAX_PATH];
  long result = 1, codeEnd = -1, tableUsed = -1, includes = 0;
  AssemblerParams* p = newBlock(chipDir, "main.asm");
  FILE* ini = fopen("case.ini", "r");
  GetCurrentDirectoryA(sizeof cwd, cwd);
  while (ini && fgets(line, sizeof line, ini)) {
    if (line[0] == '#' || sscanf(line, " %63[^= \t] = %519[^\r\n]", key, value) != 2) continue;
    for (size_t n = strlen(value); n > 0 && (value[n - 1] == ' ' || value[n - 1] == '\t');)
      value[--n] = '\0';
    long number = strtol(value, NULL, 0);
    if (!strcmp(key, "source")) snprintf(p->sourcePath, sizeof p->sourcePath, "%s", value);
    if (!strcmp(key, "rom-top")) p->programRomTop = number;
    if (!strcmp(key, "table-top")) p->tableRomTop = number;
    if (!strcmp(key, "case-sensitive")) p->labelCaseSensitive = number;
    if (!strcmp(key, "mask-options")) snprintf(p->maskOptionPath, ZQASM_PATH_SLOT, "%s", value);
    if (!strcmp(key, "result")) result = number;
    if (!strcmp(key, "code-end")) codeEnd = number;
    if (!strcmp(key, "table-used")) tableUsed = number;
    if (!strcmp(key, "warnings"))
      CHECK(setWarnings && setWarnings(value) == 0, "warnings = %.64s not taken", value);
    if (!strcmp(key, "include") && includes < 2 + ZQASM_EXTRA_INCLUDE_DIRS) {
      char* slot = includes == 0   ? p->includeDir1
                   : includes == 1 ? p->includeDir2
                                   : p->includeDirs[includes - 2];
      snprintf(slot, ZQASM_PATH_SLOT, "%s\\%s", cwd, value);
      includes++;
    }
  }
  CHECK(ini != NULL, "no case.ini");
  if (ini) fclose(ini);
  run(entry, p, (int)result);
  CHECK(codeEnd < 0 || p->codeEnd == codeEnd, "code end %u", p->codeEnd);
  CHECK(tableUsed < 0 || p->tableRomUsed == tableUsed, "table use %u", p->tableRomUsed);
  CHECK(memchr(p->chipName, 0, sizeof p->chipName) != NULL, "chip name without its NUL");
  CHECK(!chip || _stricmp(p->chipName, chip) == 0, "chip name \"%.32s\"", p->chipName);
  free(p);
}

/* Each bad block gets its documented result, and the host lives on to check it. */
static void runBadInput(Entry entry, const char* chipDir) {
  char longPath[300] = "mix", longName[121];
  AssemblerParams* p;
  int result;
  CHECK(entry(NULL) == -1, "null block");
  CreateDirectoryA("mix", NULL);
  CreateDirectoryA("mix\\sub", NULL);
  CreateDirectoryA("nochips", NULL);
  FILE* source = fopen("mix\\sub\\t.asm", "w");
  fputs("        .CHIP   ZQ4460\n        NOP\n", source);
  fclose(source);

  p = newBlock(chipDir, "");
  memset(p->sourcePath, 'a', sizeof p->sourcePath); /* no NUL in the slot */
  run(entry, p, -1);
  free(p);

  p = newBlock(chipDir, ".\\mix/sub\\..\\sub/t.asm");
  run(entry, p, 1);
  CHECK(p->codeEnd == 1 && fileHas("mix\\sub\\t.OBJ", "ZQ4460"), "mixed separators");
  CHECK(fileHas("mix\\sub\\t.ERR", "\r\n0 Error(s), 0 Warning(s)\r\n"), "mixed: totals");
  free(p);

  /* 257 characters, the longest path the slot holds. */
  while (strlen(longPath) + 7 + 10 <= 257) strcat(longPath, "\\sub\\..");
  while (strlen(longPath) + 2 + 10 <= 257) strcat(longPath, "\\.");
  strcat(longPath, "\\sub\\t.asm");
  p = newBlock(chipDir, longPath);
  CHECK(strlen(p->sourcePath) > 255, "path of %u characters", (unsigned)strlen(p->sourcePath));
  run(entry, p, 1);
  free(p);

  /* A relative name whose full name has about 300 characters (the script made the
   * folders): read and its outputs written like any other. */
  memset(longName, 'l', 120);
  longName[120] = '\0';
  p = newBlock(chipDir, "");
  snprintf(p->sourcePath, sizeof p->sourcePath, "long\\%s\\%s\\t.asm", longName, longName);
  result = entry(p);
  CHECK(result == 1 && p->codeEnd == 1, "long full name: %d", result);
  free(p);

  /* The fatal message goes to a message box that cannot be shown here: no hang. */
  p = newBlock("nochips", "mix\\sub\\t.asm");
  run(entry, p, 1);
  CHECK(fileHas("mix\\sub\\t.ERR", "ERROR : CHIP TYPE NO DEFINITION IN LINE 1\r\n"), "no chip");
  CHECK(p->chipName[0] == '\0', "chip name \"%.32s\"", p->chipName);
  free(p);
}

int main(int argc, char** argv) {
  HMODULE library = LoadLibraryA("zqasm.dll");
  Entry entry = library ? (Entry)(void*)GetProcAddress(library, "Run44Assembler") : NULL;
  if (entry == NULL || argc < 3) {
    printf("cannot load Run44Assembler from zqasm.dll (%lu), or no arguments\n", GetLastError());
    return 2;
  }
  if (strcmp(argv[2], "bad") == 0)
    runBadInput(entry, argv[1]);
  else
    runCase(entry, (SetWarnings)(void*)GetProcAddress(library, "ZqasmSetWarnings"), argv[1],
            argc > 3 ? argv[3] : NULL);
  FreeLibrary(library);
  return failures ? 1 : 0;
}
