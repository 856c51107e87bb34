#!/usr/bin/env python3
"""The cost of diagnostics through the command line: 50,000 error lines.

Usage: diagnostics_bench.py BUILD [LINES]

Assembles a program of LINES error lines (half an EQU of an undefined symbol, half an
unknown mnemonic: both are reported with the name they are about) under valgrind's
callgrind and prints the total Ir, and the Ir spent on the diagnostics beyond the assembly
itself: the run observer's calls (the notes that name the culprits, the diagnostic
records) and zqasm's editor lines and their writing, per diagnostic line. Needs valgrind.
"""
import os
import re
import shutil
import subprocess
import sys

WORK = "/tmp/zqasm-bench-diagnostics"
# The entry points of the work done for diagnostics beyond the assembly.
DIAGNOSTIC_WORK = re.compile(r"(observeLineDiagnostic|noteCulprit|noteDuplicate|"
                             r"recordDefinition|flushReport)\(")


def write_program(path, lines):
    with open(path, "w", newline="\n") as f:
        f.write("        .CHIP   ZQ4460\n        ORG     0\n")
        for i in range(lines):
            f.write("X%d EQU nowhere\n" % i if i % 2 == 0 else "        FOO%d\n" % i)


def main():
    if len(sys.argv) < 2:
        sys.stderr.write("usage: diagnostics_bench.py BUILD [LINES]\n")
        return 2
    if shutil.which("valgrind") is None:
        print("diagnostics: valgrind is not installed")
        return 0
    build = os.path.abspath(sys.argv[1])
    lines = int(sys.argv[2]) if len(sys.argv) > 2 else 50000
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    write_program(os.path.join(WORK, "main.asm"), lines)
    out = os.path.join(WORK, "callgrind.out")
    # Every diagnostic is shown, as the figures are per line shown.
    zqasm = [os.path.join(build, "tools", "zqasm"), "--chip-dir", os.path.join(build, "chips"),
             "--max-errors", "0", "main.asm"]
    result = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out] + zqasm,
                            cwd=WORK, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                            text=True)
    total = int(re.search(r"Collected : (\d+)", result.stderr).group(1))
    shown = result.stderr.count(": error: ")
    annotated = subprocess.run(["callgrind_annotate", "--inclusive=yes", "--threshold=100", out],
                               stdout=subprocess.PIPE, text=True).stdout
    beyond = 0
    for line in annotated.splitlines():
        match = re.match(r"\s*([\d,]+) \(.*?\)\s+\S*?:(.*)", line)
        if match and DIAGNOSTIC_WORK.search(match.group(2)):
            beyond += int(match.group(1).replace(",", ""))
    print("| diagnostic lines | Ir | Ir for diagnostics | per line |")
    print("|---|---|---|---|")
    print("| %d | %.2f M | %.2f M | %.0f |" % (shown, total / 1e6, beyond / 1e6,
                                               beyond / max(shown, 1)))
    return 0 if shown == lines else 1


if __name__ == "__main__":
    sys.exit(main())
