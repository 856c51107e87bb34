#!/usr/bin/env python3
"""The folders of src/ as floors, drawn from their own includes.

Usage: layers.py [--check] [--floors A,B,...] [SRC]

Prints the folders from the top floor down, every arrow between two folders with the
number of includes behind it, the arrows that run back up (a folder including one above
it) and the circles between files. A file here is a header and the .cc of the same name
together; the includes of the run object's header are left out of the circles, since it
gathers every layer's state as its one purpose.

With --check it prints only what is wrong, and fails (status 1) on an include that runs
up and is not in ALLOWED_UP, on any include of the orchestration folder from below, on a
circle through files of more than one folder, on a folder that has no floor, and on more
upward arrows than MAX_UP. Files of one folder that call each other (the directive
processor and the handlers it hands statements to) are one room's business: such
circles are listed, not failed.
--floors draws another order (an older tree, say), and checks nothing.
"""
import os
import re
import sys

# Top floor first. The public headers (include/zqasm/) are below all of them.
FLOORS = ["host", "driver", "directives", "chip", "symbols", "services", "source", "platform"]
# Only the programs' entry points may call on the orchestration folder.
ORCHESTRATION = "driver"
RUN_HEADER = "services/run.h"

# The includes that may run up, file by file, each with its reason.
ALLOWED_UP = {
    # The run object gathers the state type of every layer.
    RUN_HEADER: {"directives", "chip", "symbols"},
    # The label handler: a first word that is a mnemonic is no label, and inside an
    # expansion the macro's LOCALLABEL names make labels of that expansion, whose nodes
    # the macro's record keeps.
    "symbols/label_table.cc": {"chip", "directives"},
    "symbols/local_labels.cc": {"directives"},
}
MAX_UP = 5

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def read_includes(src):
    """{file: [included file]} for every .h and .cc of the folders of src, each path
    relative to src; includes of files outside src (the public headers) are left out."""
    files = {}
    for folder in sorted(os.listdir(src)):
        path = os.path.join(src, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            if not name.endswith((".h", ".cc")):
                continue
            with open(os.path.join(path, name), encoding="utf-8") as f:
                found = INCLUDE.findall(f.read())
            files[folder + "/" + name] = [i for i in found if os.path.isfile(os.path.join(src, i))]
    return files


def is_run_header(path):
    # By name, so that an older tree (driver/run.h) is drawn alike.
    return path.endswith("/run.h")


def unit(path):
    return path.rsplit(".", 1)[0]


def circles(files):
    """The circles between units (a header and its .cc), as lists of units."""
    edges = {}
    for path, included in files.items():
        if is_run_header(path):
            continue
        for target in included:
            if unit(target) != unit(path) and not is_run_header(target):
                edges.setdefault(unit(path), set()).add(unit(target))
    # Tarjan's strongly connected components, without recursion.
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    counter = 0
    for root in sorted(edges):
        if root in index:
            continue
        work = [(root, iter(sorted(edges.get(root, ()))))]
        index[root] = low[root] = counter
        counter += 1
        stack.append(root)
        on_stack.add(root)
        while work:
            node, successors = work[-1]
            advanced = False
            for nxt in successors:
                if nxt not in index:
                    index[nxt] = low[nxt] = counter
                    counter += 1
                    stack.append(nxt)
                    on_stack.add(nxt)
                    work.append((nxt, iter(sorted(edges.get(nxt, ())))))
                    advanced = True
                    break
                if nxt in on_stack:
                    low[node] = min(low[node], index[nxt])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                if len(component) > 1:
                    found.append(sorted(component))
    return found


def main(argv):
    check = "--check" in argv
    args = [a for a in argv if a != "--check"]
    floors = FLOORS
    drawing_other = False
    if "--floors" in args:
        at = args.index("--floors")
        floors = args[at + 1].split(",")
        del args[at:at + 2]
        drawing_other = True
        check = False
    src = args[0] if args else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src")
    files = read_includes(src)
    floor = {name: i for i, name in enumerate(floors)}

    problems = []
    folders = sorted({p.split("/")[0] for p in files})
    for folder in folders:
        if folder not in floor:
            problems.append("folder %s/ has no floor (add it to FLOORS)" % folder)
    arrows = {}
    for path, included in files.items():
        source = path.split("/")[0]
        for target in included:
            dest = target.split("/")[0]
            if dest == source:
                continue
            arrows[(source, dest)] = arrows.get((source, dest), 0) + 1
            if source not in floor or dest not in floor:
                continue
            if floor[dest] < floor[source]:
                if dest not in ALLOWED_UP.get(path, ()):
                    problems.append("%s includes %s, which is above it" % (path, target))
            if dest == ORCHESTRATION and source != "host":
                problems.append("%s includes %s: only host/ may" % (path, target))
    up = sorted(a for a in arrows if a[0] in floor and a[1] in floor and floor[a[1]] < floor[a[0]])
    if len(up) > MAX_UP:
        problems.append("%d arrows run up, at most %d may" % (len(up), MAX_UP))
    found = circles(files)
    across = [c for c in found if len({u.split("/")[0] for u in c}) > 1]
    for component in across:
        problems.append("circle of %d files across folders: %s" % (len(component), ", ".join(component)))

    if not check:
        print("floors, top first:")
        for i, name in enumerate(floors):
            count = sum(1 for p in files if p.startswith(name + "/"))
            print("  %d  %-11s %2d files" % (i + 1, name + "/", count))
        print("%d arrows, %d up:" % (len(arrows), len(up)))
        for (source, dest), count in sorted(arrows.items(), key=lambda a: (floor.get(a[0][0], 99), floor.get(a[0][1], 99))):
            mark = "  UP" if (source, dest) in up else ""
            print("  %-11s -> %-11s %3d includes%s" % (source, dest, count, mark))
        print("circles across folders: %d" % len(across))
        for component in across:
            print("  %d files: %s" % (len(component), ", ".join(component)))
        print("circles inside one folder: %d" % (len(found) - len(across)))
        for component in found:
            if component not in across:
                print("  %d files: %s" % (len(component), ", ".join(component)))
        if drawing_other:
            return 0
    for problem in problems:
        print(problem)
    return 1 if check and problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
