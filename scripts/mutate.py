#!/usr/bin/env python3
"""Seeds faults into the code one at a time and reports which the test suites catch.

Each mutant is one small change a real fault could make: a comparison flipped, a bound shifted by
one, a statement dropped, two arguments swapped, an early return. Mutants are chosen from every
room with a fixed seed, so two runs on the same code try the same mutants. For each: the file is
changed, only what depends on it is rebuilt (ccache keeps the rest), the suites that cover its room
run, and the file is put back. A mutant the suites fail on is killed; one they pass survived; one
that does not compile is stillborn and does not count.

Run through scripts/mutate.sh; see its --help.
"""
import argparse
import os
import random
import re
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# room: (source folders, suites that cover it, build targets to rebuild)
ROOMS = {
    "math": (["core/math"], ["test_math", "test_geometry"], ["ovo"]),
    "params": (["core/params"], ["test_params", "test_api"], ["ovo"]),
    "plugins": (["core/plugins"], ["test_plugin_loading"], ["ovo"]),
    "api": (["core/api"], ["test_api", "test_api_geometry", "test_api_render"], ["ovo"]),
    "render": (["core/render"], ["test_render", "test_api_render"], ["ovo"]),
    "geometry": (["core/geometry"], ["test_geometry", "test_shapes"], ["ovo"]),
    "shading": (["core/shading"], ["test_shading", "test_api_render"], ["ovo"]),
    "rib": (["plugins/generators/rib"], ["test_rib"], ["test_rib", "rib.generator"]),
    "shapes": (["plugins/shapes"], ["test_shapes"], ["ovo_all_plugins"]),
    "compiler": (["compiler"], ["test_compiler"], ["ovoslc"]),
}


def read(path):
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        return f.read().split("\n")


def write(path, lines):
    with open(os.path.join(ROOT, path), "w", encoding="utf-8") as f:
        f.write("\n".join(lines))


def sources(folders):
    out = []
    for folder in folders:
        for dirpath, _, files in os.walk(os.path.join(ROOT, folder)):
            for name in sorted(files):
                if name.endswith(".cpp") or name.endswith(".h"):
                    out.append(os.path.relpath(os.path.join(dirpath, name), ROOT))
    return sorted(out)


def code_part(line):
    """The line without a trailing // comment, or None for lines that are not plain code."""
    stripped = line.strip()
    if not stripped or stripped.startswith(("//", "#", "*", "/*")):
        return None
    if '"' in line:  # string literals: comparisons inside them are not code
        return None
    cut = line.find("//")
    return line if cut < 0 else line[:cut]


COMPARISONS = [("<=", ">"), (">=", "<"), ("==", "!="), ("!=", "=="), ("<", ">="), (">", "<=")]
CMP_RE = re.compile(r"(?<![<>=!&|-])(<=|>=|==|!=|<|>)(?![<>=])")
CALL_RE = re.compile(r"\b([A-Za-z_]\w*)\(([^(),]+),\s*([^(),]+)([,)])")
DECL_ARG_RE = re.compile(r"^(const\s+)?[\w:<>]+[\s*&]+\w+$")  # "float height": a declaration
KEYWORDS = ("if", "while", "for", "switch", "sizeof", "static_cast", "return")
NUMBER_RE = re.compile(r"(?<![\w.])(\d+)(?![\w.])")
FUNC_START_RE = re.compile(r"^(void|bool)\s+[\w:~]+\([^;]*\)\s*(const)?\s*\{\s*$")
STATEMENT_RE = re.compile(r"^\s+[\w.\->\[\]*]+(\s*[-+*/|&]?=\s*[^=].*|\(.*\))\s*;\s*$")


def candidates(path, lines):
    """Every mutation that can be made in the file, as (line index, kind, new line)."""
    out = []
    for i, line in enumerate(lines):
        code = code_part(line)
        if code is None:
            continue
        in_condition = re.search(r"\b(if|while|for|return)\b|\?", code) is not None
        # Comparisons: flipped, and strict/non-strict swapped (a bound shifted by one).
        if in_condition and "template" not in code and "#include" not in code:
            for m in CMP_RE.finditer(code):
                op = m.group(1)
                if op in ("<", ">") and ("<<" in code or ">>" in code or "->" in code[m.start() - 1:m.end() + 1]):
                    continue
                if op in ("<", ">") and re.search(r"\w<\w|<\s*\w+\s*>", code):
                    continue  # likely a template argument list
                flipped = dict(COMPARISONS)[op]
                out.append((i, "flip " + op, line[:m.start()] + flipped + line[m.end():]))
                shifted = {"<": "<=", "<=": "<", ">": ">=", ">=": ">"}.get(op)
                if shifted:
                    out.append((i, "bound " + op, line[:m.start()] + shifted + line[m.end():]))
        # A small integer in a condition shifted by one.
        if in_condition:
            for m in NUMBER_RE.finditer(code):
                n = int(m.group(1))
                if n < 64:
                    out.append((i, "off-by-one %d" % n, line[:m.start()] + str(n + 1) + line[m.end():]))
        # Two arguments of a call swapped.
        for m in CALL_RE.finditer(code):
            a, b = m.group(2).strip(), m.group(3).strip()
            declaration = DECL_ARG_RE.match(a) or DECL_ARG_RE.match(b)
            if a != b and not declaration and m.group(1) not in KEYWORDS:
                new = line[:m.start(2)] + b + ", " + a + line[m.end(3):]
                out.append((i, "swap args of " + m.group(1), new))
        # A plain statement dropped.
        if STATEMENT_RE.match(code) and not re.match(r"^\s*(return|break|continue)\b", code):
            if i + 1 < len(lines) and lines[i].rstrip().endswith(";"):
                out.append((i, "drop statement", re.match(r"^\s*", line).group(0) + ";"))
        # An early return at the start of a void or bool function.
        m = FUNC_START_RE.match(line)
        if m:
            ret = "return;" if m.group(1) == "void" else "return false;"
            out.append((i, "return early", line + " " + ret))
    return out


def choose(rooms, per_room, seed):
    rng = random.Random(seed)
    chosen = []
    for room in rooms:
        folders = ROOMS[room][0]
        pool = []
        for path in sources(folders):
            for i, kind, new in candidates(path, read(path)):
                pool.append((room, path, i, kind, new))
        rng.shuffle(pool)
        # Spread over kinds and files: take round-robin by kind.
        by_kind = {}
        for m in pool:
            by_kind.setdefault(m[3].split()[0], []).append(m)
        picked = []
        while len(picked) < per_room and any(by_kind.values()):
            for k in sorted(by_kind):
                if by_kind[k] and len(picked) < per_room:
                    picked.append(by_kind[k].pop())
        chosen.extend(picked)
    return chosen


def save(path, mutants):
    with open(path, "w", encoding="utf-8") as f:
        for room, source, i, kind, new in mutants:
            f.write("\t".join([room, source, str(i + 1), kind, read(source)[i], new]) + "\n")


def load(path):
    """Mutants saved by save(), each found again at the line with its original text nearest to
    where it was; one whose line is gone is skipped with a note."""
    mutants = []
    with open(path, encoding="utf-8") as f:
        for row in f:
            room, source, line, kind, old, new = row.rstrip("\n").split("\t")
            lines = read(source) if os.path.exists(os.path.join(ROOT, source)) else []
            where = [i for i, text in enumerate(lines) if text == old]
            if not where:
                print("gone: %s:%s %s" % (source, line, kind))
                continue
            i = min(where, key=lambda k: abs(k - (int(line) - 1)))
            mutants.append((room, source, i, kind, new))
    return mutants


def run(cmd, cwd, timeout):
    try:
        p = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           timeout=timeout)
        return p.returncode, p.stdout.decode(errors="replace")
    except subprocess.TimeoutExpired:
        return None, "timeout"


def build(build_dir, targets):
    code, out = run(["cmake", "--build", build_dir, "-j2", "--target"] + targets, ROOT, 1800)
    return code == 0, out


def test(build_dir, suites, timeout):
    """Runs each suite's executable in turn, stopping at its first failure; 0 when all pass."""
    env = dict(os.environ, OVO_HOME=build_dir, OVO_TEST_PLUGINS=os.path.join(build_dir, "tests", "plugins"),
               OVO_SOURCE_DIR=ROOT, OVO_BINARY_DIR=build_dir)
    deadline = time.time() + timeout
    for suite in suites:
        exe = os.path.join(build_dir, "bin", suite)
        try:
            p = subprocess.run([exe, "--gtest_fail_fast", "--gtest_brief=1"],
                               cwd=os.path.join(build_dir, "tests"), env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               timeout=max(1, deadline - time.time()))
        except subprocess.TimeoutExpired:
            return None  # a mutant that hangs the suite is caught too
        if p.returncode != 0:
            return p.returncode
    return 0


def failing(build_dir, suites, timeout):
    """Runs every test of the suites; the names of those that fail (a suite that crashes or
    hangs counts as "<suite>: crashed" or "<suite>: hung")."""
    env = dict(os.environ, OVO_HOME=build_dir, OVO_TEST_PLUGINS=os.path.join(build_dir, "tests", "plugins"),
               OVO_SOURCE_DIR=ROOT, OVO_BINARY_DIR=build_dir)
    deadline = time.time() + timeout
    names = []
    for suite in suites:
        try:
            p = subprocess.run([os.path.join(build_dir, "bin", suite), "--gtest_brief=1"],
                               cwd=os.path.join(build_dir, "tests"), env=env, text=True,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, errors="replace",
                               timeout=max(1, deadline - time.time()))
        except subprocess.TimeoutExpired:
            names.append(suite + ": hung")
            continue
        failed = re.findall(r"^\[  FAILED  \] (\S+\.\S+)", p.stdout, re.M)
        names += sorted(set(failed))
        if p.returncode != 0 and not failed:
            names.append(suite + ": crashed")
    return names


def main():
    parser = argparse.ArgumentParser(prog="scripts/mutate.sh")
    parser.add_argument("--build", default=os.path.join(ROOT, "build-mutate"))
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--per-room", type=int, default=10)
    parser.add_argument("--rooms", default=",".join(ROOMS))
    parser.add_argument("--list", action="store_true", help="only list the chosen mutants")
    parser.add_argument("--save", help="write the chosen mutants to this file")
    parser.add_argument("--from", dest="source",
                        help="try the mutants of a file --save wrote (the same mutants on later "
                             "code: each is found again by its line's text)")
    parser.add_argument("--which", action="store_true",
                        help="run every test on each mutant and name those that catch it, to "
                             "see which tests a mutant's kill rests on")
    parser.add_argument("--timeout", type=int, default=900, help="seconds for one mutant's suites")
    args = parser.parse_args()

    rooms = [r for r in args.rooms.split(",") if r]
    for r in rooms:
        if r not in ROOMS:
            sys.exit("unknown room %s (rooms: %s)" % (r, ", ".join(ROOMS)))
    if args.source:
        # A recorded file holds every room's mutants: --rooms, when given, picks some of them.
        mutants = load(args.source)
        if "--rooms" in sys.argv or any(a.startswith("--rooms=") for a in sys.argv):
            mutants = [m for m in mutants if m[0] in rooms]
        rooms = sorted({m[0] for m in mutants}, key=list(ROOMS).index)
    else:
        mutants = choose(rooms, args.per_room, args.seed)
    if args.save:
        save(args.save, mutants)
    if args.list:
        for n, (room, path, i, kind, new) in enumerate(mutants, 1):
            print("%3d %-9s %s:%d %s\n      - %s\n      + %s" %
                  (n, room, path, i + 1, kind, read(path)[i].strip(), new.strip()))
        return 0

    ok, out = build(args.build, ["all"])
    if ok and test(args.build, sorted({s for r in rooms for s in ROOMS[r][1]}), 3600) != 0:
        sys.exit("the suites fail on the unmutated tree: nothing to measure")
    if not ok:
        print(out[-3000:])
        sys.exit("the unmutated tree does not build in %s" % args.build)
    score = {r: [0, 0, 0] for r in rooms}  # killed, survived, stillborn
    survivors = []
    for n, (room, path, i, kind, new) in enumerate(mutants, 1):
        original = read(path)
        caught = None
        mutated = list(original)
        mutated[i] = new
        started = time.time()
        try:
            write(path, mutated)
            ok, _ = build(args.build, ROOMS[room][2] + ROOMS[room][1])
            if not ok:
                verdict = "stillborn"
                score[room][2] += 1
            else:
                caught = failing(args.build, ROOMS[room][1], args.timeout) if args.which else None
                code = (1 if caught else 0) if args.which else test(args.build, ROOMS[room][1],
                                                                      args.timeout)
                if code == 0:
                    verdict = "SURVIVED"
                    score[room][1] += 1
                    survivors.append((room, path, i, kind, new))
                else:
                    verdict = "killed"
                    score[room][0] += 1
        finally:
            write(path, original)
        print("%3d/%d %-9s %-9s %s:%d %s (%.0f s)" % (n, len(mutants), verdict, room, path,
                                                      i + 1, kind, time.time() - started),
              flush=True)
        if caught:
            print("          caught by: " + ", ".join(caught), flush=True)
    # Put the build back in step with the untouched sources.
    build(args.build, ["all"])

    print("\nroom       killed / valid   (stillborn)")
    total = [0, 0, 0]
    for r in rooms:
        k, s, d = score[r]
        total = [total[0] + k, total[1] + s, total[2] + d]
        print("%-9s  %3d / %-3d       (%d)" % (r, k, k + s, d))
    k, s, d = total
    print("%-9s  %3d / %-3d       (%d)   score %.0f%%" % ("all", k, k + s, d,
                                                          100.0 * k / max(1, k + s)))
    if survivors:
        print("\nsurvivors:")
        for room, path, i, kind, new in survivors:
            print("  %s:%d %s\n      %s" % (path, i + 1, kind, new.strip()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
