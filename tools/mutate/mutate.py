#!/usr/bin/env python3
"""Plants simple faults in the lines a change touched and tells which ones the
tests catch.

For each mutant: the source file is changed, the programs whose tests cover
it are rebuilt (incrementally), those tests run, and the file is put back.
A mutant is "killed" when a test fails, "survived" when all pass, and "no
build" when it does not compile (left out of the score).

    tools/mutate/mutate.py [--build DIR] [--base REV] [--files F...] [--max N]
                           [--timeout SECONDS] [--tests REGEX] [--list]

Without --files the lines are those of `git diff BASE` (the working tree and
the branch against BASE, by default the merge base with main), plus every
line of new files not yet added. The sources are always put back, also when
the run is interrupted; one ended without a chance to (SIGKILL) is put back
by the next run from the copies it keeps in BUILD/mutate-originals.
Standard library only.
"""
import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys

# The programs whose tests cover a source file, by path prefix (the longest
# prefix that matches wins). A test is run when its command runs one of these
# programs or hands one to a script (the end-to-end scripts get `slvedit`).
COVERING = {
    "src/model/": ["test_model", "test_editing", "test_package", "slvtool"],
    "src/package/": ["test_package", "recovery_race", "slvtool"],
    "src/display/": ["test_display", "test_display_clip", "test_scene", "test_framecount"],
    "src/actor/": ["test_actor", "test_keys"],
    "src/editor/": ["test_startup", "test_document", "test_saving", "test_undo", "test_keys", "test_scene",
                    "test_framecount", "test_picturewatcher", "test_commandline", "test_commandline_program",
                    "slvedit"],
    "src/editor/commandline": ["test_commandline", "test_commandline_program"],
    "src/editor/picturewatcher": ["test_picturewatcher", "test_scene"],
    "src/editor/uiservices": ["test_startup", "slvedit"],
    "src/editor/application": ["test_startup", "slvedit"],
    "src/editor/terminationwatcher": ["test_startup", "slvedit"],
    "src/editor/mainwindow.": ["test_startup", "test_saving", "slvedit"],
    "src/editor/mainwindow_package": ["test_saving", "test_undo", "slvedit"],
    "src/editor/leveldocument": ["test_document", "test_undo", "test_saving"],
    "src/main.cpp": ["test_commandline_program", "slvedit"],
    "tools/slvtool/": ["slvtool"],
    "tools/skinpack/": ["test_actor"],
    "tools/mkdemo/": ["test_editing"],
}

SOURCE_SUFFIXES = (".cpp", ".h")

# ---- finding the lines ----


def changed_lines(diff_text):
    """{path: set of line numbers} of the lines a `git diff -U0` adds or changes."""
    lines = {}
    path = None
    for row in diff_text.splitlines():
        if row.startswith("+++ "):
            target = row[4:].strip()
            path = target[2:] if target.startswith("b/") else None
        elif row.startswith("@@") and path:
            m = re.match(r"@@ -\S+ \+(\d+)(?:,(\d+))? @@", row)
            if m:
                start, count = int(m.group(1)), int(m.group(2) or "1")
                lines.setdefault(path, set()).update(range(start, start + count))
    return {p: ls for p, ls in lines.items() if ls}


def git(root, *args):
    return subprocess.run(["git", "-C", root, *args], check=True, capture_output=True, text=True).stdout


def lines_to_mutate(root, base, files):
    """{path: set of line numbers or None for every line} of the C++ sources to mutate."""
    if files:
        return {os.path.relpath(os.path.abspath(f), root): None for f in files}
    if not base:
        base = git(root, "merge-base", "main", "HEAD").strip()
    found = changed_lines(git(root, "diff", "-U0", "--no-color", base, "--", "src", "tools"))
    for new in git(root, "ls-files", "--others", "--exclude-standard", "--", "src", "tools").split():
        found[new] = None
    return {p: ls for p, ls in found.items() if p.endswith(SOURCE_SUFFIXES)}


# ---- making mutants ----

RELATIONAL = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
ARITHMETIC = {"+": "-", "-": "+"}
STATEMENT = re.compile(r"^(\+\+|--)?[\w.:>\-\[\]()]+\s*(\(|=[^=]|\+=|-=|\+\+|--|<<)")


def code_only(line):
    """The line with the insides of string and character literals blanked
    and any // comment cut, at the same positions: what the mutations read."""
    out = []
    quote = None
    i = 0
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("__")
                i += 2
                continue
            out.append(c if c == quote else "_")
            if c == quote:
                quote = None
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)[: len(line)]


def closing_paren(code, open_at):
    depth = 0
    for i in range(open_at, len(code)):
        depth += {"(": 1, ")": -1}.get(code[i], 0)
        if depth == 0:
            return i
    return -1


def mutants_of_line(line):
    """[(mutated line, what was done)] for one line of C++."""
    code = code_only(line)
    stripped = code.strip()
    if not stripped or stripped.startswith(("#", "/*", "*")):
        return []
    found = []

    def replace(start, end, new, what):
        found.append((line[:start] + new + line[end:], what))

    for m in re.finditer(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)", code):
        replace(m.start(), m.end(), RELATIONAL[m.group(1)], f"'{m.group(1)}' -> '{RELATIONAL[m.group(1)]}'")
    for m in re.finditer(r"(?<=\s)([+-])(?=\s)", code):
        if code[m.start() - 2:m.start() - 1] == '"' or code[m.end() + 1:m.end() + 2] == '"':
            continue  # text joined to a string literal: a minus there does not build
        replace(m.start(), m.end(), ARITHMETIC[m.group(1)], f"'{m.group(1)}' -> '{ARITHMETIC[m.group(1)]}'")
    for m in re.finditer(r"(?<![\w.])(\d+)(?![\w.'])", code):
        n = int(m.group(1))
        replace(m.start(), m.end(), str(n + 1), f"{n} -> {n + 1}")
        if n > 0:
            replace(m.start(), m.end(), str(n - 1), f"{n} -> {n - 1}")
    for m in re.finditer(r"\b(if|while) \(", code):
        open_at = m.end() - 1
        close = closing_paren(code, open_at)
        if close > open_at + 1:
            cond = line[open_at + 1:close]
            replace(open_at + 1, close, f"!({cond})", f"negated {m.group(1)} ({cond.strip()})")
    for m in re.finditer(r"\b(\w+)\((\w+), (\w+)\)", code):
        a, b = m.group(2), m.group(3)
        if a != b:
            replace(m.start(2), m.end(3), f"{b}, {a}", f"swapped arguments of {m.group(1)}({a}, {b})")
    body = stripped
    if (body.endswith(";") and STATEMENT.match(body) and not body.startswith(("return", "case ", "default"))
            and body.count("(") == body.count(")")):
        indent = line[: len(line) - len(line.lstrip())]
        statement = line[: len(code)].strip()  # without its comment
        shown = statement if len(statement) <= 50 else statement[:47] + "..."
        found.append((indent + ";" + ("\n" if line.endswith("\n") else ""), f"deleted '{shown}'"))
    return found


def mutants_of_file(text, wanted, limit):
    """[(line number, mutated line, what was done)] for the wanted lines
    (None: all), at most `limit`, spread evenly over them."""
    every = []
    for number, line in enumerate(text.splitlines(keepends=True), start=1):
        if wanted is None or number in wanted:
            every.extend((number, new, what) for new, what in mutants_of_line(line))
    if len(every) <= limit:
        return every
    step = len(every) / limit
    return [every[int(i * step)] for i in range(limit)]


# ---- running them ----


class Originals:
    """Keeps a copy of each file before it is changed, in a folder of the
    build, so that the file is put back even after a run that was killed."""

    def __init__(self, root, folder):
        self.root, self.folder = root, folder

    def restore_left(self):
        """Puts back every file a run before left changed; the paths put back."""
        restored = []
        index = os.path.join(self.folder, "index.json")
        if os.path.exists(index):
            with open(index, encoding="utf-8") as f:
                for path, copy in json.load(f).items():
                    shutil.copyfile(copy, os.path.join(self.root, path))
                    restored.append(path)
        shutil.rmtree(self.folder, ignore_errors=True)
        return restored

    def keep(self, path):
        os.makedirs(self.folder, exist_ok=True)
        copy = os.path.join(self.folder, "original")
        shutil.copyfile(os.path.join(self.root, path), copy)
        with open(os.path.join(self.folder, "index.json"), "w", encoding="utf-8") as f:
            json.dump({path: copy}, f)


class Interrupted(Exception):
    pass


ENDING_SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


def on_signal(number, _frame):
    raise Interrupted(signal.Signals(number).name)


class SignalsHeld:
    """Holds the ending signals back while a file is being put back; they
    arrive right after."""

    def __enter__(self):
        signal.pthread_sigmask(signal.SIG_BLOCK, ENDING_SIGNALS)

    def __exit__(self, *_):
        signal.pthread_sigmask(signal.SIG_UNBLOCK, ENDING_SIGNALS)


def run(command, cwd, timeout):
    """Runs a command in a process group of its own; (exit status, output).
    The group is ended when the time is up or the run is interrupted."""
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                               start_new_session=True)
    try:
        output, _ = process.communicate(timeout=timeout)
        return process.returncode, output
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
        return None, "timed out"
    except BaseException:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        raise


def covering_programs(path):
    best = max((p for p in COVERING if path.startswith(p)), key=len, default=None)
    return COVERING[best] if best else []


def tests_of(build, programs, pattern):
    """The names of the ctest entries that run one of `programs` (or match `pattern`)."""
    listing = json.loads(subprocess.run(["ctest", "--show-only=json-v1"], cwd=build, check=True,
                                        capture_output=True, text=True).stdout)
    names = []
    for test in listing.get("tests", []):
        command = test.get("command") or []
        if pattern:
            if re.search(pattern, test["name"]):
                names.append(test["name"])
        elif any(os.path.basename(part) in programs for part in command):
            names.append(test["name"])
    return names


def ctest_pattern(names):
    return "^(" + "|".join(re.sub(r"([][.*+?^$()|\\{}])", r"\\\1", n) for n in names) + ")$"


def build_targets(build, programs):
    known = subprocess.run(["ninja", "-C", build, "-t", "targets", "all"], capture_output=True, text=True).stdout
    names = {row.split(":")[0] for row in known.splitlines()}
    return [p for p in programs if p in names]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser.add_argument("--build", default=os.path.join(root, "build"))
    parser.add_argument("--base", default=os.environ.get("BASE") or None)
    parser.add_argument("--files", nargs="*", default=(os.environ.get("FILES") or "").split())
    parser.add_argument("--max", type=int, default=int(os.environ.get("MAX") or 12), help="mutants per file")
    parser.add_argument("--timeout", type=int, default=int(os.environ.get("TIMEOUT") or 120),
                        help="seconds each test may run")
    parser.add_argument("--tests", default=os.environ.get("TESTS") or None, help="ctest regex instead of the table")
    parser.add_argument("--list", action="store_true", help="only list the mutants")
    args = parser.parse_args()
    build = os.path.abspath(args.build)

    originals = Originals(root, os.path.join(build, "mutate-originals"))
    for path in originals.restore_left():
        print(f"put back {path}, left changed by an interrupted run")
    for number in ENDING_SIGNALS:
        signal.signal(number, on_signal)

    plan = []
    for path, wanted in sorted(lines_to_mutate(root, args.base, args.files).items()):
        with open(os.path.join(root, path), encoding="utf-8") as f:
            text = f.read()
        plan.append((path, text, mutants_of_file(text, wanted, args.max)))
    if args.list:
        for path, _, mutants in plan:
            for number, _, what in mutants:
                print(f"{path}:{number}  {what}")
        return 0

    scores = {}
    built = set()
    try:
        for path, text, mutants in plan:
            programs = covering_programs(path)
            tests = tests_of(build, programs, args.tests)
            targets = build_targets(build, programs + (["demo"] if "slvedit" in programs else []))
            if not mutants or not tests:
                print(f"-- {path}: {len(mutants)} mutants, {len(tests)} tests: left out")
                continue
            pattern = ctest_pattern(tests)
            ctest = ["ctest", "-R", pattern, "--stop-on-failure", "--timeout", str(args.timeout), "-j1"]
            limit = args.timeout * len(tests) + 60
            status, output = run(["cmake", "--build", build, "-j2", "--target", *targets], root, None)
            built.update(targets)
            if status == 0:
                status, output = run(ctest, build, limit)
            if status != 0:
                print(f"-- {path}: the tests fail without a mutant, left out\n{output[-2000:]}")
                continue
            print(f"-- {path}: {len(mutants)} mutants, {len(tests)} tests of {', '.join(targets)}")
            lines = text.splitlines(keepends=True)
            score = scores.setdefault(path, {"killed": 0, "survived": 0, "no build": 0})
            for number, new, what in mutants:
                with SignalsHeld():
                    originals.keep(path)
                try:
                    with open(os.path.join(root, path), "w", encoding="utf-8") as f:
                        f.write("".join(lines[: number - 1] + [new] + lines[number:]))
                    status, _ = run(["cmake", "--build", build, "-j2", "--target", *targets], root, None)
                    if status != 0:
                        verdict = "no build"
                    else:
                        status, output = run(ctest, build, limit)
                        verdict = "survived" if status == 0 else "killed"
                finally:
                    with SignalsHeld():
                        with open(os.path.join(root, path), "w", encoding="utf-8") as f:
                            f.write(text)
                        originals.restore_left()
                score[verdict] += 1
                print(f"{verdict:9} {path}:{number}  {what}", flush=True)
    except Interrupted as e:
        print(f"interrupted by {e}: the sources are as they were")
        return 130
    finally:
        with SignalsHeld():
            originals.restore_left()
        if built:  # the build holds no mutant either
            run(["cmake", "--build", build, "-j2", "--target", *sorted(built)], root, None)

    print("\nscore (killed of those that built)")
    for path, s in scores.items():
        tried = s["killed"] + s["survived"]
        share = f"{100 * s['killed'] / tried:.0f}%" if tried else "-"
        print(f"{path:48} {s['killed']:3} of {tried:3}  {share:>5}   ({s['no build']} did not build)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
