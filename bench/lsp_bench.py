#!/usr/bin/env python3
"""zqasm-lsp on the 12,000-instruction banked program: the run behind the diagnostics,
and a change until its diagnostics are published.

Usage: lsp_bench.py BUILD [ROUNDS]

Generates p12000 (gen_programs.py: ZQ4460, ROM top 2FFFh, table top 0FFh, main.asm and
its include files), writes its zqasm.json (include folder ".", the two tops), starts
BUILD/tools/zqasm-lsp in a client of its own over pipes and opens main.asm. Each round
adds or removes an error line in the buffer, so that the diagnostics change
and are published, and times
  run     didChange and at once didSave (a save is run at once) until the diagnostics:
          the run of the assembler over the buffer, its facts, and the messages;
  change  didChange alone until the diagnostics: the same after the 200 ms debounce.
Prints the median and the largest of each, in milliseconds; then the time and size of
completion answers (completion_figures), the time of inlay hints for a screen
(inlay_figures) and the time of a rename (rename_figure).
"""
import json
import os
import select
import shutil
import subprocess
import sys
import time

WORK = "/tmp/zqasm-bench-lsp"


class Server:
    def __init__(self, program):
        self.process = subprocess.Popen([program], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE)
        self.buffer = b""

    def send(self, message):
        body = json.dumps(message).encode()
        self.process.stdin.write(b"Content-Length: %d\r\n\r\n" % len(body) + body)
        self.process.stdin.flush()

    def receive(self, timeout=30.0):
        end = time.monotonic() + timeout
        while True:
            head, sep, rest = self.buffer.partition(b"\r\n\r\n")
            if sep:
                length = int(head.split(b":")[1])
                if len(rest) >= length:
                    self.buffer = rest[length:]
                    return json.loads(rest[:length])
            ready, _, _ = select.select([self.process.stdout], [], [],
                                        max(0.0, end - time.monotonic()))
            if not ready:
                raise TimeoutError("no message from the server")
            data = os.read(self.process.stdout.fileno(), 1 << 20)
            if not data:
                raise EOFError("the server ended")
            self.buffer += data

    def diagnostics(self, uri):
        while True:
            message = self.receive()
            if (message.get("method") == "textDocument/publishDiagnostics"
                    and message["params"]["uri"] == uri):
                return message["params"]["diagnostics"]


def completion_figures(server, folder, rounds):
    """Completion in code0.inc (read by the run, not open): the whole label table after
    CALL (200 items sent), a word of three letters, a RAM operand and the statement
    position. Returns (median ms, largest ms, largest answer in bytes)."""
    path = os.path.join(folder, "code0.inc")
    with open(path) as f:
        lines = f.read().split("\n")
    places = []
    for number, line in enumerate(lines):
        if not places and "CALL    L" in line:
            column = line.index("CALL    L") + 9
            places += [(number, column), (number, column + 2)]
        if len(places) == 2 and "MOV     " in line:
            places.append((number, line.index("MOV     ") + 8))
            places.append((number, line.index("MOV")))
            break
    uri = "file://" + path
    times, sizes = [], []
    for n in range(rounds):
        for line, column in places:
            ident = 1000 + len(times)
            start = time.monotonic()
            server.send({"jsonrpc": "2.0", "id": ident, "method": "textDocument/completion",
                         "params": {"textDocument": {"uri": uri},
                                    "position": {"line": line, "character": column}}})
            while True:
                answer = server.receive()
                if answer.get("id") == ident:
                    break
            times.append((time.monotonic() - start) * 1000)
            sizes.append(len(json.dumps(answer, separators=(",", ":"))))
            if not answer["result"]["items"]:
                raise RuntimeError("no completion at %d:%d" % (line, column))
    return median(times), max(times), max(sizes)


def inlay_figures(server, folder, rounds):
    """Inlay hints for 100 lines of code0.inc (read by the run, not open), the screen
    moved down by 100 lines each time, on the run of the program without errors (its
    image routes the far calls). Returns (median ms, largest ms)."""
    uri = "file://" + os.path.join(folder, "code0.inc")
    times = []
    for n in range(rounds):
        ident = 5000 + n
        first = 100 * (n % 20)
        start = time.monotonic()
        server.send({"jsonrpc": "2.0", "id": ident, "method": "textDocument/inlayHint",
                     "params": {"textDocument": {"uri": uri},
                                "range": {"start": {"line": first, "character": 0},
                                          "end": {"line": first + 99, "character": 0}}}})
        while True:
            answer = server.receive()
            if answer.get("id") == ident:
                break
        times.append((time.monotonic() - start) * 1000)
        if not answer["result"]:
            raise RuntimeError("no inlay hints at line %d" % first)
    return median(times), max(times)


def rename_figure(server, rounds):
    """A label used 1,000 times in a program of its own (main.asm with an include file that
    holds half the uses), renamed from a use: prepareRename and rename until the answer to
    the rename. Returns the median and the largest, in ms."""
    folder = os.path.realpath(os.path.join(WORK, "rename"))
    os.makedirs(folder, exist_ok=True)
    uses = ["LP%d: JMP TARGET\n" % n for n in range(1000)]
    # Outside the workspace root: the include file is named by its full path.
    include = os.path.join(folder, "uses.inc")
    with open(include, "w") as f:
        f.write("".join(uses[500:]))
    main = (".CHIP ZQ4460\nTARGET: NOP\n" + "".join(uses[:500]) +
            " #include <%s>\n .END\n" % include)
    path = os.path.join(folder, "main.asm")
    with open(path, "w") as f:
        f.write(main)
    uri = "file://" + path
    server.send({"jsonrpc": "2.0", "method": "textDocument/didOpen",
                 "params": {"textDocument": {"uri": uri, "languageId": "zqasm",
                                             "version": 1, "text": main}}})
    # The program has no error, so no diagnostics tell that its run is made: a first
    # request waits for it, untimed.
    position = {"line": 2, "character": 10}
    server.send({"jsonrpc": "2.0", "id": 4999, "method": "textDocument/prepareRename",
                 "params": {"textDocument": {"uri": uri}, "position": position}})
    while server.receive().get("id") != 4999:
        pass
    times = []
    for n in range(rounds):
        ident = 5000 + 2 * n
        start = time.monotonic()
        server.send({"jsonrpc": "2.0", "id": ident, "method": "textDocument/prepareRename",
                     "params": {"textDocument": {"uri": uri}, "position": position}})
        server.send({"jsonrpc": "2.0", "id": ident + 1, "method": "textDocument/rename",
                     "params": {"textDocument": {"uri": uri}, "position": position,
                                "newName": "GOAL%d" % n}})
        while True:
            answer = server.receive()
            if answer.get("id") == ident + 1:
                break
        times.append((time.monotonic() - start) * 1000)
        edits = sum(len(e) for e in answer["result"]["changes"].values())
        if edits != 1001:
            raise RuntimeError("rename made %d edits, not 1001" % edits)
    return median(times), max(times)


def median(values):
    values = sorted(values)
    return values[len(values) // 2]


def main():
    if len(sys.argv) < 2:
        sys.stderr.write("usage: lsp_bench.py BUILD [ROUNDS]\n")
        return 2
    build = os.path.abspath(sys.argv[1])
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    program = os.path.join(build, "tools", "zqasm-lsp")
    if not os.path.exists(program):
        print("lsp: zqasm-lsp is not built (nlohmann-json missing)")
        return 0
    shutil.rmtree(WORK, ignore_errors=True)
    here = os.path.dirname(os.path.abspath(__file__))
    subprocess.run([sys.executable, os.path.join(here, "gen_programs.py"), WORK], check=True)
    folder = os.path.realpath(os.path.join(WORK, "p12000"))
    with open(os.path.join(folder, "zqasm.json"), "w") as f:
        json.dump({"includeDirs": ["."], "romTop": "2FFFh", "tableTop": "0FFh",
                   "chipDir": os.path.join(build, "chips")}, f)
    with open(os.path.join(folder, "main.asm")) as f:
        text = f.read()
    # The error line goes before the includes (the program ends with .END).
    first, rest = text.split("\n", 1)
    broken = first + "\n BAD\n" + rest
    uri = "file://" + os.path.join(folder, "main.asm")

    server = Server(program)
    server.send({"jsonrpc": "2.0", "id": 1, "method": "initialize",
                 "params": {"rootUri": "file://" + folder, "capabilities": {}}})
    server.receive()
    server.send({"jsonrpc": "2.0", "method": "initialized", "params": {}})
    start = time.monotonic()
    server.send({"jsonrpc": "2.0", "method": "textDocument/didOpen",
                 "params": {"textDocument": {"uri": uri, "languageId": "zqasm",
                                             "version": 1, "text": broken}}})
    server.diagnostics(uri)
    opened = (time.monotonic() - start) * 1000

    times = {"run": [], "change": []}
    version = 1
    for n in range(2 * rounds):
        kind = "run" if n % 2 == 0 else "change"
        version += 1
        body = text if version % 2 == 0 else broken
        start = time.monotonic()
        server.send({"jsonrpc": "2.0", "method": "textDocument/didChange",
                     "params": {"textDocument": {"uri": uri, "version": version},
                                "contentChanges": [{"text": body}]}})
        if kind == "run":
            server.send({"jsonrpc": "2.0", "method": "textDocument/didSave",
                         "params": {"textDocument": {"uri": uri}}})
        diagnostics = server.diagnostics(uri)
        times[kind].append((time.monotonic() - start) * 1000)
        if (len(diagnostics) == 0) != (version % 2 == 0):
            raise RuntimeError("unexpected diagnostics: %s" % diagnostics)

    completion = completion_figures(server, folder, rounds)
    # Back to the text without errors, whose run makes an image.
    version += 1
    server.send({"jsonrpc": "2.0", "method": "textDocument/didChange",
                 "params": {"textDocument": {"uri": uri, "version": version},
                            "contentChanges": [{"text": text}]}})
    server.send({"jsonrpc": "2.0", "method": "textDocument/didSave",
                 "params": {"textDocument": {"uri": uri}}})
    if server.diagnostics(uri):
        raise RuntimeError("the program has errors")
    inlay = inlay_figures(server, folder, rounds)
    renamed = rename_figure(server, rounds)
    server.send({"jsonrpc": "2.0", "id": 2, "method": "shutdown"})
    server.receive()
    server.send({"jsonrpc": "2.0", "method": "exit"})
    server.process.wait(10)
    print("lsp p12000: open %.1f ms; run median %.1f ms (max %.1f); change to diagnostics "
          "median %.1f ms (max %.1f), %d rounds" %
          (opened, median(times["run"]), max(times["run"]), median(times["change"]),
           max(times["change"]), rounds))
    print("lsp p12000: completion median %.1f ms (max %.1f), largest answer %.1f KB" %
          (completion[0], completion[1], completion[2] / 1024))
    print("lsp p12000: inlay hints for 100 lines median %.1f ms (max %.1f)" % inlay)
    print("lsp rename: a label used 1,000 times, prepareRename and rename median %.1f ms "
          "(max %.1f)" % renamed)
    return 0


if __name__ == "__main__":
    sys.exit(main())
