#!/usr/bin/env python3
"""The playground's figures for `make bench`: the command line compiled for Node against
the native one on the benchmark programs, and the size of the page's files.

    bench/playground_bench.py NATIVE_BUILD PLAYGROUND_BUILD [RUNS]

Each side's time is its run minus its own `--version` (the start-up of the program: for
Node, starting Node and compiling the module), each the fastest of RUNS runs, since the
machine is shared. The aims: the 12,000-instruction banked program (p12000) in at most 3x
the native time, the page's files at most 1.5 MB. Prints a table and nothing else; says so
and ends when the playground is not built."""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_programs  # noqa: E402

WORK = os.environ.get("ZQASM_BENCH_WORK", "/tmp/zqasm-bench-programs") + "-node"


def fastest(args, cwd, runs):
    best = None
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(args, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        took = time.perf_counter() - start
        best = took if best is None else min(best, took)
    return best * 1000.0


def main():
    if len(sys.argv) < 3:
        sys.stderr.write("usage: playground_bench.py NATIVE_BUILD PLAYGROUND_BUILD [RUNS]\n")
        return 2
    native_build = os.path.abspath(sys.argv[1])
    playground = os.path.abspath(sys.argv[2])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 21
    node_js = os.path.join(playground, "zqasm.js")
    if not os.path.isfile(node_js) or shutil.which("node") is None:
        print("playground benchmark skipped: %s not built (make playground) or no node" % node_js)
        return 0
    os.environ.setdefault("NODE_PATH", "/usr/share/nodejs")
    native = [os.path.join(native_build, "tools", "zqasm")]
    node = ["node", node_js]
    chips = os.path.join(native_build, "chips")

    shutil.rmtree(WORK, ignore_errors=True)
    for name, words, labels in gen_programs.PROGRAMS:
        gen_programs.write_program(os.path.join(WORK, name), words, labels,
                                   seed=len(name) * 7919 + words)
    native_start = fastest(native + ["--version"], WORK, runs)
    node_start = fastest(node + ["--version"], WORK, runs)
    print("| program | native ms | Node ms | Node / native |")
    print("|---|---|---|---|")
    for name, _, _ in gen_programs.PROGRAMS:
        cwd = os.path.join(WORK, name)
        args = ["--chip-dir", chips, "-I", ".", "--rom-top", "2FFFh", "--table-top", "0FFh",
                "main.asm"]
        native_ms = fastest(native + args, cwd, runs) - native_start
        node_ms = fastest(node + args, cwd, runs) - node_start
        print("| %s | %.1f | %.1f | %.2fx |" % (name, native_ms, node_ms,
                                                node_ms / native_ms if native_ms > 0 else 0))
        sys.stdout.flush()
    print()
    print("start-up (--version): native %.1f ms, Node %.1f ms" % (native_start, node_start))

    site = os.path.join(playground, "site")
    total = 0
    for folder, _, files in os.walk(site):
        total += sum(os.path.getsize(os.path.join(folder, f)) for f in files)
    print("page files: %d bytes (%.2f MB) in %s" % (total, total / 1e6, site))
    shutil.rmtree(WORK, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
