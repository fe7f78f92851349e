#!/usr/bin/env python3
"""What the tests cover and how much test code it takes. `make coverage` builds the project with
--coverage into build/coverage and runs this script on that build:

  tools/coverage.py report BUILD     zero the counters, run the suites (CTest, fuzz replays left
                                     out), print line and branch coverage of the library,
                                     connectors and tools by area, then the test share
  tools/coverage.py share            only the test share, from the sources (no build needed)
  tools/coverage.py per-test BUILD [REGEX]
                                     run each test case of the suites whose CTest name matches
                                     REGEX alone and list the ones that cover no line and no
                                     branch that another case leaves uncovered

Counted lines. A line counts when it is not blank and holds more than a comment: the comment
forms of C and C++ (// to the line end, /* to */) are taken out first, with string, character
and raw string literals read as code. Only C and C++ files count (.c .cpp .h .hpp); build files
and scripts count on neither side. Code is the library (src/ and include/), the connectors
(connectors/) and the tools (tools/); tests are everything under tests/, their support and
helper libraries included. Fuzz targets (fuzz/) and benchmarks (bench/) count on neither side,
and their corpus replays are not run for coverage: coverage is what the suites reach.

Branches are gcov's, without the ones that only an exception takes and the ones gcov marks as
unreachable, so that a call that may throw is not counted as an untaken branch.
"""

import json
import os
import re
import shutil
import subprocess
import sys
from collections import defaultdict
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SOURCE_SUFFIXES = {".c", ".cpp", ".h", ".hpp"}
CODE_TOPS = ("src", "include", "connectors", "tools")

# Areas of the coverage report, the first prefix that matches wins.
AREAS = [
    ("library", "src/platform/os/"),
    ("library", "src/platform/services/"),
    ("library", "src/dk/common/strings/"),
    ("library", "src/dk/common/errors/"),
    ("library", "src/dk/common/values/"),
    ("library", "src/dk/common/text/"),
    ("library", "src/dk/coll/"),
    ("library", "src/dk/logtool/"),
    ("library", "src/dk/common/model/"),
    ("library", "src/dk/common/datastore/"),
    ("library", "src/"),
    ("library", "include/dk/"),
    ("connectors", "connectors/"),
    ("tools", "tools/"),
]


def area_of(rel):
    for group, prefix in AREAS:
        if rel.startswith(prefix):
            return group, prefix
    return None, None


# ---------------------------------------------------------------------------------------------
# Counting lines

RAW_OPEN = re.compile(r'(?:u8|[uUL])?R"([^ ()\\\t\n]{0,16})\(')


def counted_lines(text):
    """The number of lines of C or C++ text that hold more than blanks and comments."""
    count = 0
    has_code = False
    i, n = 0, len(text)
    state = "code"   # code, line, block, string, char, raw
    raw_end = ""
    while i < n:
        c = text[i]
        if c == "\n":
            if has_code:
                count += 1
            has_code = False
            if state == "line":
                state = "code"
            i += 1
            continue
        if state == "code":
            if c == "/" and text.startswith("//", i):
                state = "line"
                i += 2
                continue
            if c == "/" and text.startswith("/*", i):
                state = "block"
                i += 2
                continue
            if not c.isspace():
                has_code = True
            m = RAW_OPEN.match(text, i) if c in 'uULR' and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")) else None
            if m:
                state, raw_end = "raw", ")" + m.group(1) + '"'
                i = m.end()
                continue
            if c == '"':
                state = "string"
            elif c == "'" and not (i > 0 and text[i - 1].isalnum()):   # not a digit separator
                state = "char"
            i += 1
        elif state == "line":
            i += 1
        elif state == "block":
            if text.startswith("*/", i):
                state = "code"
                i += 2
            else:
                i += 1
        elif state in ("string", "char"):
            has_code = True
            if c == "\\":
                i += 2 if i + 1 < n and text[i + 1] != "\n" else 1
                continue
            if (state == "string" and c == '"') or (state == "char" and c == "'"):
                state = "code"
            i += 1
        else:   # raw
            has_code = True
            if text.startswith(raw_end, i):
                state = "code"
                i += len(raw_end)
            else:
                i += 1
    if has_code:
        count += 1
    return count


def source_files(top):
    base = ROOT / top
    if not base.exists():
        return []
    return sorted(p for p in base.rglob("*") if p.is_file() and p.suffix in SOURCE_SUFFIXES)


def lines_by_folder(top):
    """Counted lines per folder (relative to the root) of every source under top."""
    folders = defaultdict(int)
    for p in source_files(top):
        folders[str(p.parent.relative_to(ROOT))] += counted_lines(p.read_text(errors="replace"))
    return folders


def share_report():
    code = {top: sum(lines_by_folder(top).values()) for top in CODE_TOPS}
    library = code["src"] + code["include"]
    code_total = library + code["connectors"] + code["tools"]
    tests = lines_by_folder("tests")
    test_total = sum(tests.values())

    print("Counted lines (non-blank, non-comment, C and C++ files)")
    print(f"  library (src/, include/) {library:7d}")
    print(f"  connectors               {code['connectors']:7d}")
    print(f"  tools                    {code['tools']:7d}")
    print(f"  code                     {code_total:7d}")
    print(f"  tests                    {test_total:7d}")
    print()
    # Each test folder beside the code it tests (tests/X mirrors src/X).
    print("Test lines by folder, beside the lines of the code they mirror")
    grouped = defaultdict(int)
    for folder, n in tests.items():
        parts = folder.split("/")
        if len(parts) >= 4 and parts[1] == "dk" and parts[2] == "common":
            key = "/".join(parts[:4])            # tests/dk/common/<layer>
        elif len(parts) >= 3 and parts[1] in ("dk", "platform"):
            key = "/".join(parts[:3])            # tests/dk/coll, tests/platform/os ...
        else:
            key = "/".join(parts[:2])            # tests/connectors, tests/tools, tests/support ...
        grouped[key] += n
    mirrored = {"tests/connectors": "connectors", "tests/tools": "tools"}
    for key in sorted(grouped, key=lambda k: -grouped[k]):
        target = mirrored.get(key, "src" + key[len("tests"):] if key.count("/") >= 2 else None)
        if target and (ROOT / target).exists():
            under = sum(v for f, v in lines_by_folder(target).items())
            print(f"  {key:30s} {grouped[key]:6d}   {target:28s} {under:6d}   {100.0 * grouped[key] / max(under, 1):5.1f}%")
        else:
            print(f"  {key:30s} {grouped[key]:6d}")
    print()
    print(f"Test share: {test_total} test lines / {code_total} code lines = {100.0 * test_total / code_total:.1f}%")


# ---------------------------------------------------------------------------------------------
# Coverage of a whole run

def zero_counters(build):
    for p in Path(build).rglob("*.gcda"):
        p.unlink()


def run_suites(build, jobs):
    cmd = ["ctest", "--output-on-failure", "-j", str(jobs), "-E", "^replay_"]
    return subprocess.run(cmd, cwd=build).returncode


def gcovr_summary(build):
    cmd = ["gcovr", "--root", str(ROOT), "--object-directory", str(build),
           "--exclude-throw-branches", "--exclude-unreachable-branches",
           "--exclude-directories", r".*/CMakeFiles/[0-9.]+/.*",   # CMake's compiler probes
           "-j", str(os.cpu_count() or 1), "--json-summary", "-"]
    for top in CODE_TOPS:
        cmd += ["--filter", str(ROOT / top) + "/"]
    out = subprocess.run(cmd, check=True, stdout=subprocess.PIPE, text=True, cwd=ROOT).stdout
    return json.loads(out)["files"]


def pct(hit, total):
    return f"{100.0 * hit / total:5.1f}%" if total else "    -"


def coverage_report(build):
    files = gcovr_summary(build)
    rows = defaultdict(lambda: [0, 0, 0, 0])
    groups = defaultdict(lambda: [0, 0, 0, 0])
    for f in files:
        rel = f["filename"]
        group, prefix = area_of(rel)
        if not group:
            continue
        folder = prefix if prefix not in ("src/", "connectors/", "tools/") else str(Path(rel).parent) + "/"
        for key, table in ((folder, rows), (group, groups), ("all", groups)):
            r = table[key]
            r[0] += f["line_covered"]
            r[1] += f["line_total"]
            r[2] += f["branch_covered"]
            r[3] += f["branch_total"]
    print(f"{'area':34s} {'lines':>15s} {'':6s} {'branches':>15s}")
    for folder in sorted(rows, key=lambda k: ([g for g, p in AREAS if k.startswith(p)] + ["z"])[0] + k):
        r = rows[folder]
        print(f"  {folder:32s} {r[0]:6d}/{r[1]:<6d} {pct(r[0], r[1])}   {r[2]:6d}/{r[3]:<6d} {pct(r[2], r[3])}")
    for g in ("library", "connectors", "tools", "all"):
        r = groups[g]
        print(f"{g:34s} {r[0]:6d}/{r[1]:<6d} {pct(r[0], r[1])}   {r[2]:6d}/{r[3]:<6d} {pct(r[2], r[3])}")


# ---------------------------------------------------------------------------------------------
# Coverage per test case

def gcov_records(build):
    """(covered lines, covered branches) of the code, from the counters of the last run."""
    lines, branches = set(), set()
    gcdas = [str(p.resolve()) for p in Path(build).rglob("*.gcda")]
    # gcov reads each data file beside its notes file; one call per batch of files.
    for start in range(0, len(gcdas), 64):
        out = subprocess.run(["gcov", "--json-format", "--stdout", "--branch-probabilities"] + gcdas[start:start + 64],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, cwd=build).stdout
        for chunk in out.splitlines():
            chunk = chunk.strip()
            if not chunk.startswith("{"):
                continue
            data = json.loads(chunk)
            cwd = Path(data.get("current_working_directory", build))
            for f in data.get("files", []):
                path = (cwd / f["file"]).resolve()
                try:
                    rel = str(path.relative_to(ROOT))
                except ValueError:
                    continue
                if not area_of(rel)[0]:
                    continue
                for ln in f.get("lines", []):
                    if ln["count"] > 0:
                        lines.add((rel, ln["line_number"]))
                    for k, b in enumerate(ln.get("branches", [])):
                        if b["count"] > 0 and not b.get("throw"):
                            branches.add((rel, ln["line_number"], k))
    return lines, branches


def ctest_tests(build, pattern):
    out = subprocess.run(["ctest", "--show-only=json-v1"], cwd=build, check=True, stdout=subprocess.PIPE, text=True).stdout
    tests = []
    for t in json.loads(out)["tests"]:
        if t["name"].startswith("replay_") or not re.search(pattern, t["name"]):
            continue
        env = {}
        for prop in t.get("properties", []):
            if prop["name"] == "ENVIRONMENT":
                env.update(v.split("=", 1) for v in prop["value"])
        wd = next((p["value"] for p in t.get("properties", []) if p["name"] == "WORKING_DIRECTORY"), build)
        tests.append((t["name"], t["command"], env, wd))
    return tests


def gtest_cases(binary):
    out = subprocess.run([binary, "--gtest_list_tests"], stdout=subprocess.PIPE, text=True).stdout
    cases, suite = [], None
    for line in out.splitlines():
        if not line.strip() or line.startswith("Running main"):
            continue
        name = line.split("#")[0].strip()
        if not line.startswith(" "):
            suite = name
        elif not name.startswith("DISABLED_") and not suite.startswith("DISABLED_"):
            cases.append(suite + name)
    return cases


def per_test(build, pattern):
    build = str(Path(build).resolve())
    # Runs of the same binary under several environments (time zones) count as one case.
    runs = defaultdict(list)
    for name, command, env, wd in ctest_tests(build, pattern):
        binary = command[0]
        if binary.endswith("_test") and Path(binary).exists():
            for case in gtest_cases(binary):
                runs[(Path(binary).name, case)].append((command + ["--gtest_filter=" + case], env, wd))
        else:
            runs[(name, "")].append((command, env, wd))
    covered = {}
    for key, variants in sorted(runs.items()):
        lines, branches = set(), set()
        failed = False
        for command, env, wd in variants:
            zero_counters(build)
            r = subprocess.run(command, env={**os.environ, **env}, cwd=wd, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
            # Only a test case's own exit code tells; CTest judges some other tests by their output.
            failed |= r.returncode != 0 and bool(key[1])
            l, b = gcov_records(build)
            lines |= l
            branches |= b
        covered[key] = (lines, branches)
        print(f"  {key[0]} {key[1]}: {len(lines)} lines, {len(branches)} branches{' FAILED' if failed else ''}",
              file=sys.stderr, flush=True)

    line_users, branch_users = defaultdict(int), defaultdict(int)
    for lines, branches in covered.values():
        for x in lines:
            line_users[x] += 1
        for x in branches:
            branch_users[x] += 1
    print("Cases that cover no line and no branch of their own (a case that covers nothing at all is the")
    print("half of a case that runs it in a child):")
    for key, (lines, branches) in sorted(covered.items()):
        own_lines = sum(1 for x in lines if line_users[x] == 1)
        own_branches = sum(1 for x in branches if branch_users[x] == 1)
        if own_lines == 0 and own_branches == 0:
            print(f"  {key[0]:32s} {key[1]:70s} {len(lines):6d} lines")
    with open(Path(build) / "per-test-coverage.json", "w") as out:
        json.dump({f"{k[0]}|{k[1]}": {"lines": sorted(map(list, v[0])), "branches": sorted(map(list, v[1]))}
                   for k, v in covered.items()}, out)
    print(f"Every case's covered lines and branches: {Path(build) / 'per-test-coverage.json'}")


def main(argv):
    if len(argv) >= 1 and argv[0] == "share":
        share_report()
        return 0
    if len(argv) >= 2 and argv[0] == "report":
        build = argv[1]
        zero_counters(build)
        rc = run_suites(build, int(os.environ.get("JOBS", os.cpu_count() or 1)))
        print()
        coverage_report(build)
        print()
        share_report()
        if rc != 0:
            print("\nSome suites failed; the coverage above is of a failed run.")
        return rc
    if len(argv) >= 2 and argv[0] == "per-test":
        if not shutil.which("gcov"):
            print("gcov is missing", file=sys.stderr)
            return 1
        per_test(argv[1], argv[2] if len(argv) > 2 else ".")
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
