#!/usr/bin/env python3
"""Writes the benchmark programs for the ZQ4460 (program ROM top 2FFFh, three banks).

Usage: gen_programs.py OUTDIR

Each program NAME gets a folder OUTDIR/NAME with main.asm and its include files:
  one     - the chip line and one instruction
  p1000   - 1,000 instruction words
  p3000   - 3,000 instruction words
  p12000  - 12,000 instruction words over the three banks, 8,000 labels, calls and
            jumps across the banks
  m1000, m12000 - a one-word macro with a local label, expanded 1,000 and 12,000 times
  r64, r2048    - 64 and 2,048 RAM names, each used in the operands of 4,096 instructions

The programs use every instruction of the chip, labels, EQU constants, DEFINE and
DEFSTRING texts, RAM names of a DATA segment, TABLE data, include files, macros with
local labels and conditional assembly. The output is the same on every run: the
choices come from a fixed linear congruential sequence, not from the clock.
"""
import os
import sys

CONVERT_START = 0x100
CONVERT_END = 0x13F          # 64 words of bank convert area in every bank
BANK_WORDS = 0x1000


class Sequence:
    """A fixed pseudo-random sequence (the constants of the C library's rand)."""

    def __init__(self, seed):
        self.state = seed

    def next(self, bound):
        self.state = (self.state * 1103515245 + 12345) & 0x7FFFFFFF
        return (self.state >> 8) % bound


def code_ranges():
    """The stretches of program ROM that take code, in order: every bank without its
    convert area and its last word (which takes the NOP of the bank end)."""
    ranges = []
    for bank in range(3):
        base = bank * BANK_WORDS
        ranges.append((base, base + CONVERT_START - 1))
        ranges.append((base + CONVERT_END + 1, base + BANK_WORDS - 2))
    return ranges


HEADER = """\
; defs.inc - constants, texts, RAM names, table data and macros of the benchmark
COUNT   EQU     5
LIMIT   EQU     0FH
MASKV   EQU     7
CHAR    EQU     'A'
        #DEFINE FAST
        #DEFINE LEVEL 3
PAIR    DEFSTRING 45h, 3
        .DATA
        ORG     40h
FLAGS   DN      2
BUFFER  DN      4
TEMP    DN      1
        .ENDD
        .TABLE
        .DB     "ZQ BENCH", 0
        .DW     1234h, 5678h
        DN      4, 41h
        .ENDT
SETREG  .MACRO  REG, VAL
        MOV     REG, VAL
        .IF .PARAMCOUNT = 2
        LDA     VAL
        .ELSE
        NOP
        .ENDIF
        .ENDM
WAIT    .MACRO  FLAG, CNT
        .LOCALLABEL SPIN
SPIN:   LDA     CNT
        .IFNBLANK FLAG
        JNZ     SPIN
        .ELSE
        NOP
        .ENDIF
        .ENDM
"""

# One-word instructions with fixed or value operands: every form of the chip but the
# jumps, which are written with labels.
PLAIN = [
    "NOP", "HALT", "RET", "RETI", "CPHL", "INC     @HL", "INC     {v}", "LDA     {v}",
    "LDA     COUNT", "LDA     LEVEL", "LDA     CHAR-LIMIT-50", "MOV     45h, @HL",
    "MOV     45h, {v}", "MOV     FLAGS, 1", "MOV     PAIR", "ST      @HL, {v}",
    "ST      {v}, 45h", "ST      2, BUFFER", "MOVR    75h, 12h", "SETB    0103h",
    "ADC     2, {v}", "SBR     12h", "SF2     40h", "MOV     TEMP, 2", "LDA     MASKV",
]
CONDITIONAL = ["JB0", "JB1", "JB2", "JB3", "JNZ", "JNC", "JZ", "JC"]
COMMENTS = ["", "", "", "          ; step", "  ; keep the count", ""]


class Writer:
    def __init__(self, words, labels, seed):
        self.rand = Sequence(seed)
        self.words = words
        self.labels = labels
        self.label_count = 0
        self.lines = []                 # (file index, text)
        self.address_labels = []        # (address, name) of every plain label
        self.far_targets = {}           # bank -> a few label names in that bank

    def label_name(self):
        name = "L%d_%s" % (self.label_count, "AB"[self.label_count % 2])
        self.label_count += 1
        return name

    def plan(self):
        """Addresses of the instruction words and which of them carry a label."""
        addresses = []
        for start, end in code_ranges():
            a = start
            while a <= end and len(addresses) < self.words:
                addresses.append(a)
                a += 1
        return addresses

    def generate(self):
        addresses = self.plan()
        n = len(addresses)
        # Labels spread evenly over the instructions (a macro call takes two words and
        # counts its local label as one).
        label_at = set()
        if self.labels:
            for i in range(self.labels):
                label_at.add(i * n // self.labels)
        # Names of the labels by address, decided before the code so jumps may go forward.
        names = {}
        for i in sorted(label_at):
            names[i] = self.label_name()
        by_page = {}
        by_bank = {}
        for i, name in names.items():
            a = addresses[i]
            by_page.setdefault(a >> 11, []).append((i, name))
            by_bank.setdefault(a >> 12, []).append((i, name))
        far = {b: [nm for _, nm in v[:: max(1, len(v) // 6)][:6]] for b, v in by_bank.items()}

        out = []
        org = None
        i = 0
        locals_used = 0
        while i < n:
            a = addresses[i]
            if org is None or a != org:
                out.append("        ORG     %04XH" % a)
            label = names.get(i)
            prefix = (label + ":").ljust(7) + " " if label else "        "
            choice = self.rand.next(100)
            next_contiguous = i + 1 < n and addresses[i + 1] == a + 1
            comment = COMMENTS[self.rand.next(len(COMMENTS))]
            if choice < 4 and next_contiguous and (i + 1) not in names:
                # A macro call of two words.
                if self.rand.next(2):
                    out.append("%sSETREG  45h, %d%s" % (prefix, self.rand.next(16), comment))
                else:
                    out.append("%sWAIT    %s, %d" % (prefix, "1" if self.rand.next(2) else "",
                                                     self.rand.next(16)))
                    locals_used += 1
                i += 2
                org = a + 2
                continue
            if choice < 7 and next_contiguous and (i + 1) not in names:
                # A conditional block of one word in each branch.
                # One entry of several lines, so that no include file ends inside it.
                out.append("\n".join([
                    "%sNOP" % prefix,
                    "        .IFDEF  FAST",
                    "        .IF     LEVEL .GT. 2",
                    "        INC     %d" % self.rand.next(16),
                    "        .ELSE",
                    "        HALT",
                    "        .ENDIF",
                    "        .ELSE",
                    "        STOP",
                    "        .ENDIF"]))
                i += 2
                org = a + 2
                continue
            if choice < 22:
                text = self.jump(i, a, names, by_page, by_bank, far)
            else:
                form = PLAIN[self.rand.next(len(PLAIN))]
                text = form.replace("{v}", str(self.rand.next(16)))
            out.append(prefix + text + comment)
            i += 1
            org = a + 1
        return out

    def jump(self, i, a, names, by_page, by_bank, far):
        kind = self.rand.next(10)
        if kind < 4:
            page = by_page.get(a >> 11, [])
            if page:
                _, name = page[self.rand.next(len(page))]
                return "%-8s%s" % (CONDITIONAL[self.rand.next(len(CONDITIONAL))], name)
            kind = 5
        op = "CALL    " if kind < 7 else "JMP     "
        bank = a >> 12
        if kind == 9 and len(far) > 1:
            # Across the banks, to one of a few targets so the convert area holds them.
            other = [b for b in far if b != bank]
            target_bank = other[self.rand.next(len(other))]
            return op + far[target_bank][self.rand.next(len(far[target_bank]))]
        own = by_bank.get(bank, [])
        if own:
            return op + own[self.rand.next(len(own))][1]
        return "NOP"


def write_program(folder, words, labels, seed):
    os.makedirs(folder, exist_ok=True)
    body = Writer(words, labels, seed).generate() if words > 1 else ["        NOP"]
    with open(os.path.join(folder, "main.asm"), "w", newline="\n") as f:
        f.write("; benchmark program of %d instruction words\n" % words)
        f.write("        .CHIP   ZQ4460\n")
        if words == 1:
            f.write(body[0] + "\n")
            return
        f.write("        .BANKCONVERTAREA %04Xh %04Xh\n" % (CONVERT_START, CONVERT_END))
        f.write("        #include <defs.inc>\n")
        # The code in include files of at most 2,000 entries each, in order.
        chunk = 2000
        for part in range(0, len(body), chunk):
            name = "code%d.inc" % (part // chunk)
            f.write("        #include <%s>\n" % name)
            with open(os.path.join(folder, name), "w", newline="\n") as inc:
                inc.write("; %s\n" % name)
                inc.write("\n".join(body[part:part + chunk]) + "\n")
        f.write("        .END\n")
    with open(os.path.join(folder, "defs.inc"), "w", newline="\n") as f:
        f.write(HEADER)


PROGRAMS = [("one", 1, 0), ("p1000", 1000, 666), ("p3000", 3000, 2000),
            ("p12000", 12000, 8000)]

# The other families: (name, kind, size, what the size counts).
FAMILIES = [("m1000", "macro", 1000, "expansion"), ("m12000", "macro", 12000, "expansion"),
            ("r64", "ram", 64, "line"), ("r2048", "ram", 2048, "line")]
RAM_USES = 4096


def write_macro_program(folder, expansions):
    """A macro whose one word carries a local label that it jumps to, expanded
    `expansions` times over the three banks."""
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "main.asm"), "w", newline="\n") as f:
        f.write("; %d expansions of a macro with a local label\n" % expansions)
        f.write("        .CHIP   ZQ4460\n")
        f.write("        .BANKCONVERTAREA %04Xh %04Xh\n" % (CONVERT_START, CONVERT_END))
        f.write("SPINM   .MACRO\n        .LOCALLABEL SPIN\nSPIN:   JNZ     SPIN\n        .ENDM\n")
        f.write("        SPINM\n" * expansions)
        f.write("        .END\n")


def write_ram_program(folder, names):
    """`names` RAM names at addresses 0 up, then RAM_USES instructions naming them in turn
    (the operand folds each address into the RAM range of the chip)."""
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "main.asm"), "w", newline="\n") as f:
        f.write("; %d RAM names used in %d operands\n" % (names, RAM_USES))
        f.write("        .CHIP   ZQ4460\n        .DATA\n")
        for i in range(names):
            f.write("R%d_X    DN      1\n" % i)
        f.write("        .ENDD\n")
        for i in range(RAM_USES):
            name = "R%d_X" % (i * 7 % names)
            if i % 2 == 0:
                f.write("        MOV     (%s & 3Fh) + 40h, 3\n" % name)
            else:
                f.write("        ST      2, (%s & 3Fh) + 40h\n" % name)
        f.write("        .END\n")


def family_lines(kind, size):
    """The count Ir is divided by: expansions, or the source lines of a RAM program."""
    return size if kind == "macro" else size + RAM_USES


def write_family(folder, kind, size):
    if kind == "macro":
        write_macro_program(folder, size)
    else:
        write_ram_program(folder, size)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: gen_programs.py OUTDIR\n")
        return 2
    for name, words, labels in PROGRAMS:
        write_program(os.path.join(sys.argv[1], name), words, labels, seed=len(name) * 7919 + words)
    for name, kind, size, _ in FAMILIES:
        write_family(os.path.join(sys.argv[1], name), kind, size)
    return 0


if __name__ == "__main__":
    sys.exit(main())
