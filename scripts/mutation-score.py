#!/usr/bin/env python3
"""How many faults the native suite finds: a fixed, seeded sample of single mutations of the
native sources (a flipped comparison, a constant off by one, a removed statement, a negated
condition), each built incrementally and run against the suite.

    scripts/mutation-score.py [--count 150] [--seed 13] [--build build/mutation] [--list] [--fresh]

A mutant is killed when a test fails or times out. Mutants that do not compile are replaced by
the next ones of the seeded order, so the sample stays the same for the same sources; a run
that hangs (four times as long as the unmutated suite) counts as killed. The
sources are always restored, also when the run is interrupted, and a run started again goes on
where the last one stopped (--fresh starts over: the outcomes depend on the tests). Runs outside CI: at about half a
minute a mutant it takes over an hour.
"""
import argparse
import hashlib
import json
import os
import re
import signal
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SOURCE_FOLDERS = ("src", "senders")

COMPARISONS = {" == ": " != ", " != ": " == ", " < ": " <= ", " <= ": " < ", " > ": " >= ", " >= ": " > "}
STRING_OR_CHAR = re.compile(r'"(?:\\.|[^"\\])*"|\'(?:\\.|[^\'\\])*\'')
INTEGER = re.compile(r"(?<![\w.])(\d+)(?![\w.])")
# A statement that stands alone on its line and declares nothing: a call or an assignment.
STATEMENT = re.compile(r"^\s*(?:[\w:.\->\[\]()*]+\s*(?:[-+*/|&]?=[^=]|\+\+|--)|[\w:.\->]+\(.*\))[^{}]*;\s*$")


@dataclass(frozen=True)
class Mutant:
    path: str  # relative to the root
    line: int  # from 1
    kind: str
    before: str
    after: str

    def describe(self) -> str:
        return f"{self.path}:{self.line}: {self.kind}: {self.before.strip()}  ->  {self.after.strip()}"


def masked(line: str) -> str:
    """The line with string and character literals blanked, so that nothing inside them is mutated."""
    return STRING_OR_CHAR.sub(lambda m: '"' + " " * (len(m.group(0)) - 2) + '"', line)


def code_part(line: str) -> str:
    text = masked(line)
    cut = text.find("//")
    return text if cut < 0 else text[:cut]


def matching_paren(text: str, open_at: int) -> int:
    depth = 0
    for i in range(open_at, len(text)):
        if text[i] == "(":
            depth += 1
        elif text[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return -1


def mutants_of_line(path: str, number: int, line: str):
    code = code_part(line)
    stripped = code.strip()
    if not stripped or stripped.startswith(("#", "*", "/*", "static_assert", "template")):
        return
    for before, after in COMPARISONS.items():
        start = code.find(before)
        while start >= 0:
            yield Mutant(path, number, "comparison", line, line[:start] + after + line[start + len(before):])
            start = code.find(before, start + 1)
    for match in INTEGER.finditer(code):
        value = int(match.group(1))
        changed = str(value + 1) if value == 0 or number % 2 else str(value - 1)
        yield Mutant(path, number, "constant", line, line[:match.start()] + changed + line[match.end():])
    if STATEMENT.match(code) and not stripped.startswith(("return", "case", "default", "break", "continue")):
        indent = line[: len(line) - len(line.lstrip())]
        yield Mutant(path, number, "statement removed", line, indent + ";\n")
    for match in re.finditer(r"\b(?:if|while) \(", code):
        open_at = match.end() - 1
        close_at = matching_paren(code, open_at)
        if close_at > 0:
            condition = line[open_at + 1:close_at]
            yield Mutant(path, number, "condition negated", line,
                         line[:open_at + 1] + "!(" + condition + ")" + line[close_at:])


def native_sources(build: Path) -> list[str]:
    commands = json.loads((build / "compile_commands.json").read_text())
    files = set()
    for entry in commands:
        path = Path(entry["file"]).resolve()
        try:
            relative = path.relative_to(ROOT)
        except ValueError:
            continue
        if relative.parts[0] in SOURCE_FOLDERS:
            files.add(str(relative))
    return sorted(files)


def all_mutants(files: list[str]) -> list[Mutant]:
    found = []
    for path in files:
        in_comment = False
        for number, line in enumerate((ROOT / path).read_text(encoding="utf-8", errors="surrogateescape")
                                      .splitlines(keepends=True), 1):
            if in_comment:
                in_comment = "*/" not in line
                continue
            if line.lstrip().startswith("/*"):
                in_comment = "*/" not in line
                continue
            found.extend(mutants_of_line(path, number, line))
    return found


def run(command: list[str], timeout: int) -> int:
    process = subprocess.Popen(command, cwd=ROOT, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        return -1
    finally:
        # Also when interrupted: a compiler left running would write a mutant's object after
        # the source is restored, and the next build would take it as up to date.
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


def configure(build: Path) -> None:
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug",
                    "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(build), "-j2"], check=True, stdout=subprocess.DEVNULL)


def run_suite(build: Path, limit: int) -> int:
    # The whole run is bounded: some tests set a timeout of their own that --timeout does not
    # shorten, and a mutant that hangs one of them would cost minutes.
    return run(["ctest", "--test-dir", str(build), "-j2", "--timeout", str(limit), "--stop-on-failure"], timeout=limit)


def try_mutant(mutant: Mutant, build: Path, limit: int) -> str:
    """'killed', 'hung', 'survived' or 'not compiled'; the file is restored before returning."""
    file = ROOT / mutant.path
    original = file.read_bytes()
    lines = original.decode("utf-8", errors="surrogateescape").splitlines(keepends=True)
    lines[mutant.line - 1] = mutant.after
    try:
        file.write_bytes("".join(lines).encode("utf-8", errors="surrogateescape"))
        if run(["cmake", "--build", str(build), "-j2"], timeout=900) != 0:
            return "not compiled"
        status = run_suite(build, limit)
        if status > 0:
            # A kill counts only when the failed tests fail again: a test that failed once under
            # load would otherwise raise the score.
            status = run(["ctest", "--test-dir", str(build), "--rerun-failed", "--timeout", str(limit)], timeout=limit)
        return "survived" if status == 0 else "hung" if status == -1 else "killed"
    finally:
        file.write_bytes(original)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--count", type=int, default=150)
    parser.add_argument("--seed", type=int, default=13)
    parser.add_argument("--build", default="build/mutation")
    parser.add_argument("--list", action="store_true", help="only print the sample's first mutants")
    parser.add_argument("--fresh", action="store_true", help="forget the outcomes of an interrupted run")
    parser.add_argument("--against", metavar="JOURNAL",
                        help="try only the built mutants of an earlier run's journal, to compare two suites")
    options = parser.parse_args()
    build = (ROOT / options.build).resolve()

    configure(build)
    candidates = all_mutants(native_sources(build))
    # Ordered by a seeded hash of each mutation rather than shuffled, so that a change elsewhere in
    # the sources leaves the rest of the sample as it was.
    candidates.sort(key=lambda m: hashlib.sha256(f"{options.seed}\t{m.describe()}".encode(
        "utf-8", errors="surrogateescape")).digest())
    if options.against:
        earlier = {}
        for entry in Path(options.against).read_text().splitlines():
            outcome, _, described = entry.partition("\t")
            if outcome in ("killed", "survived"):
                earlier[described] = outcome
        present = {m.describe() for m in candidates}
        for described, outcome in earlier.items():
            if described not in present:
                print(f"gone since the earlier run ({outcome} then): {described}")
        candidates = [m for m in candidates if m.describe() in earlier]
        options.count = min(options.count, len(candidates))
    if options.list:
        for mutant in candidates[: options.count]:
            print(mutant.describe())
        return 0

    # Restore the sources on Ctrl-C and kill as well: try_mutant's finally does it.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))
    started = time.monotonic()
    if run_suite(build, 900) != 0:
        print("the suite fails without any mutation: nothing to measure", file=sys.stderr)
        return 1
    limit = max(60, int(4 * (time.monotonic() - started)))
    print(f"suite: {time.monotonic() - started:.0f}s unmutated; a mutant's run is cut at {limit}s", flush=True)
    results: dict[str, list[Mutant]] = {"killed": [], "survived": [], "not compiled": []}
    # Outcomes are kept as they come, so that an interrupted run goes on where it stopped.
    journal = build / "mutation-journal.txt"
    if options.fresh:
        journal.unlink(missing_ok=True)
    known = {}
    if journal.exists():
        for entry in journal.read_text().splitlines():
            outcome, _, described = entry.partition("\t")
            known[described] = outcome
    for mutant in candidates:
        if len(results["killed"]) + len(results["survived"]) == options.count:
            break
        started = time.monotonic()
        outcome = known.get(mutant.describe())
        if outcome is None:
            outcome = try_mutant(mutant, build, limit)
            # A hang may be the machine's load rather than the mutant's: it counts as killed,
            # but is tried again by the next run.
            if outcome != "hung":
                with journal.open("a") as out:
                    out.write(f"{outcome}\t{mutant.describe()}\n")
        results["killed" if outcome == "hung" else outcome].append(mutant)
        print(f"[{len(results['killed']) + len(results['survived'])}/{options.count}] {outcome} "
              f"({time.monotonic() - started:.0f}s): {mutant.describe()}", flush=True)
    run(["cmake", "--build", str(build), "-j2"], timeout=900)

    tried = len(results["killed"]) + len(results["survived"])
    score = 100.0 * len(results["killed"]) / tried if tried else 0.0
    report = [f"mutants: {tried} built ({len(results['not compiled'])} did not compile and were replaced), "
              f"killed {len(results['killed'])}, survived {len(results['survived'])}, score {score:.1f}%",
              "survivors:"] + ["  " + m.describe() for m in results["survived"]]
    (build / "mutation-report.txt").write_text("\n".join(report) + "\n")
    print("\n".join(report))
    return 0


if __name__ == "__main__":
    sys.exit(main())
