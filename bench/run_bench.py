#!/usr/bin/env python3
"""`make bench`: the cost of assembling the generated programs with the built zqasm.

Usage: run_bench.py BUILD [RUNS]

For every program of gen_programs.py it prints the instructions executed (Ir, from
valgrind's callgrind; left out when valgrind is not installed), Ir per instruction word,
the Ir against those of zqasm_floor (bench/floor.c: the sources read three times and the
same output bytes written, each a line at a time: the least any run must do), the median
wall time of RUNS runs, and the median time of `cat` reading the program's
sources three times, as a yardstick for the cost of merely reading the input.
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import gen_programs  # noqa: E402

WORK = os.environ.get("ZQASM_BENCH_WORK", "/tmp/zqasm-bench-programs")


def command(build, program):
    return [os.path.join(build, "tools", "zqasm"), "--chip-dir", os.path.join(build, "chips"),
            "-I", ".", "--rom-top", "2FFFh", "--table-top", "0FFh", "main.asm"]


def median_time(args, cwd, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(args, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return statistics.median(times) * 1000.0


def callgrind_ir(args, cwd):
    out = os.path.join(cwd, "callgrind.out")
    result = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out] + args,
                            cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    os.remove(out)
    match = re.search(r"Collected : (\d+)", result.stderr)
    return int(match.group(1)) if match else None


def floor_ir(build, cwd, sources):
    """Ir of zqasm_floor reading the sources three times and writing again the files the
    assembler's run left in cwd, or None when the floor program is not built."""
    floor = os.path.join(build, "bench", "zqasm_floor")
    if not os.path.exists(floor):
        return None
    out_dir = os.path.join(cwd, "floor")
    os.makedirs(out_dir, exist_ok=True)
    args = [floor] + sources + ["--"]
    for name in sorted(os.listdir(cwd)):
        path = os.path.join(cwd, name)
        if os.path.isfile(path) and name not in sources:
            args += [name, os.path.join("floor", name)]
    ir = callgrind_ir(args, cwd)
    shutil.rmtree(out_dir, ignore_errors=True)
    return ir


def main():
    if len(sys.argv) < 2:
        sys.stderr.write("usage: run_bench.py BUILD [RUNS]\n")
        return 2
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 21
    have_valgrind = shutil.which("valgrind") is not None
    shutil.rmtree(WORK, ignore_errors=True)
    for name, words, labels in gen_programs.PROGRAMS:
        gen_programs.write_program(os.path.join(WORK, name), words, labels,
                                   seed=len(name) * 7919 + words)
    for name, kind, size, _ in gen_programs.FAMILIES:
        gen_programs.write_family(os.path.join(WORK, name), kind, size)

    print("| program | words | Ir | Ir/word | x floor | wall ms (median of %d) | read x3 ms |" % runs)
    print("|---|---|---|---|---|---|---|")
    for name, words, _ in gen_programs.PROGRAMS:
        cwd = os.path.join(WORK, name)
        args = command(build, name)
        sources = sorted(f for f in os.listdir(cwd) if f.endswith((".asm", ".inc")))
        ir = callgrind_ir(args, cwd) if have_valgrind else None
        floor = floor_ir(build, cwd, sources) if ir else None
        wall = median_time(args, cwd, runs)
        read = median_time(["cat"] + sources * 3, cwd, runs)
        ir_text = "%.2f M" % (ir / 1e6) if ir else "-"
        per_word = "%.0f" % (ir / words) if ir else "-"
        times_floor = "%.1fx" % (ir / floor) if floor else "-"
        print("| %s | %d | %s | %s | %s | %.2f | %.2f |" %
              (name, words, ir_text, per_word, times_floor, wall, read))
        sys.stdout.flush()

    if not have_valgrind:
        return 0
    # Start-up: the one-line program with the chip folder as the only option (no ROM top,
    # no table ROM), the cost of a run before any program text.
    cwd = os.path.join(WORK, "one")
    ir = callgrind_ir([os.path.join(build, "tools", "zqasm"), "--chip-dir",
                       os.path.join(build, "chips"), "main.asm"], cwd)
    print()
    print("start-up (one-line program, default options): %.3f M Ir" % (ir / 1e6) if ir else
          "start-up: -")
    print()
    print("| program | Ir | per | Ir per |")
    print("|---|---|---|---|")
    per_unit = {}
    for name, kind, size, unit in gen_programs.FAMILIES:
        cwd = os.path.join(WORK, name)
        ir = callgrind_ir(command(build, name), cwd)
        count = gen_programs.family_lines(kind, size)
        per_unit[name] = ir / count if ir else None
        print("| %s | %.2f M | %d %ss | %.0f |" % (name, ir / 1e6, count, unit, per_unit[name]))
        sys.stdout.flush()
    print()
    for small, large, what in (("m1000", "m12000", "Ir per expansion"),
                               ("r64", "r2048", "Ir per line")):
        if per_unit.get(small) and per_unit.get(large):
            print("%s, %s against %s: %.2fx" % (what, large, small, per_unit[large] / per_unit[small]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
