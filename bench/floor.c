/* The least any assembler run of a program must do: read its sources three times, a line
 * at a time (one read per pass), and write the bytes of the output files the real run
 * wrote, a line at a time. run_bench.py divides the assembler's instruction count by this
 * program's. The outputs' bytes are taken from the real run's files, read whole first.
 *
 * usage: zqasm_floor SOURCE... -- REAL_OUTPUT COPY [REAL_OUTPUT COPY]... */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static char line[4096];

static char* readWhole(const char* name, size_t* size) {
  FILE* in = fopen(name, "rb");
  if (in == NULL) return NULL;
  fseek(in, 0, SEEK_END);
  long length = ftell(in);
  fseek(in, 0, SEEK_SET);
  char* bytes = malloc(length > 0 ? (size_t)length + 1 : 1);
  *size = bytes != NULL && length > 0 ? fread(bytes, 1, (size_t)length, in) : 0;
  if (bytes != NULL) bytes[*size] = '\0';
  fclose(in);
  return bytes;
}

int main(int argc, char** argv) {
  int split = 1;
  while (split < argc && strcmp(argv[split], "--") != 0) ++split;
  unsigned long lines = 0;
  for (int pass = 0; pass < 3; ++pass) {
    for (int i = 1; i < split; ++i) {
      FILE* in = fopen(argv[i], "r");
      if (in == NULL) {
        perror(argv[i]);
        return 1;
      }
      while (fgets(line, sizeof line, in) != NULL) ++lines;
      fclose(in);
    }
  }
  for (int i = split + 1; i + 1 < argc; i += 2) {
    size_t size = 0;
    char* bytes = readWhole(argv[i], &size);
    FILE* out = fopen(argv[i + 1], "wb");
    if (bytes == NULL || out == NULL) {
      perror(argv[i]);
      return 1;
    }
    for (size_t at = 0; at < size;) {
      const char* end = memchr(bytes + at, '\n', size - at);
      size_t piece = end != NULL ? (size_t)(end - (bytes + at)) + 1 : size - at;
      fwrite(bytes + at, 1, piece, out);
      at += piece;
    }
    free(bytes);
    if (fclose(out) != 0) return 1;
  }
  return lines == 0 && split > 1 ? 1 : 0;
}
