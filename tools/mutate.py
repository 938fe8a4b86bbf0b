#!/usr/bin/python3
"""Plants single-line faults in src/ one at a time and reports which ones the test suite catches.

Each fault of the catalogue (tools/mutants.txt) names a file, an anchor text that occurs exactly
once in it and the text that replaces the anchor. For every fault the runner mutates a private
copy of the tree, rebuilds it incrementally, runs the suite (ctest, stopping at the first failure)
and restores the file. A failing test and a timeout count as caught. A fault that does not
compile, and an entry whose anchor no longer matches, are reported apart: the catalogue is then
out of date (mend or re-anchor the entry rather than drop it).

The developer's checkout is never written to: the copies live in --workdir (default build-mutate/,
ignored by git), are brought up to date with the checkout (committed or not) at the start of each
run, which also undoes a fault an interrupted run left in a copy, and keep their build folders
between runs, so a second run rebuilds only what changed.

Usage:
    /usr/bin/python3 tools/mutate.py                    # every fault, 2 copies built side by side
    /usr/bin/python3 tools/mutate.py --folder results   # the faults planted in src/results only
    /usr/bin/python3 tools/mutate.py --only results/result_table.cpp#1 --only 'U+200A'
    /usr/bin/python3 tools/mutate.py --check            # anchors only: no build, no test
    /usr/bin/python3 tools/mutate.py --kills            # every test per fault: which tests catch what
    /usr/bin/python3 tools/mutate.py --list

It takes minutes and is not part of CI: run it before resolving an issue that touches src/, and
put the score in the note. Standard library only.
"""
import argparse
import collections
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import threading
import time

REPO = pathlib.Path(__file__).resolve().parents[1]
CATALOGUE = REPO / "tools" / "mutants.txt"
PYTHON = "/usr/bin/python3"


class Mutant:
    def __init__(self, path, description, after, anchor, replacement, line_no):
        self.path = path                # relative to the repository, e.g. src/common/host_text.cpp
        self.description = description
        self.after = after              # None, or a unique text the anchor is the first one after
        self.anchor = anchor
        self.replacement = replacement
        self.line_no = line_no          # of the entry in the catalogue
        self.id = ""                    # folder/file#n, n counting the file's entries

    @property
    def folder(self):
        parts = pathlib.PurePosixPath(self.path).parts
        return parts[1] if len(parts) > 2 and parts[0] == "src" else parts[0]

    def apply(self, text):
        """The mutated text, or a reason why the anchor does not serve."""
        if self.after is not None:
            count = text.count(self.after)
            if count != 1:
                return None, "'^' text found %d times" % count
            start = text.index(self.after) + len(self.after)
            at = text.find(self.anchor, start)
            if at < 0:
                return None, "anchor not found after the '^' text"
        else:
            count = text.count(self.anchor)
            if count != 1:
                return None, "anchor found %d times" % count
            at = text.index(self.anchor)
        return text[:at] + self.replacement + text[at + len(self.anchor):], None


def read_catalogue(path):
    """Entries:  @ <file>  then per fault  ? <description>  [^ <after>]  - <anchor>  + <replacement>."""
    mutants, current, pending = [], None, None
    for no, raw in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        line = raw.rstrip("\n")
        if not line.strip() or line.startswith("#"):
            continue
        tag, text = line[0], line[2:] if len(line) > 1 else ""
        if tag == "@":
            current = text.strip()
        elif tag == "?":
            if current is None:
                sys.exit("%s:%d: a fault before any '@ file' line" % (path, no))
            pending = [text.strip(), None, None, no]
        elif tag == "^" and pending and pending[1] is None and pending[2] is None and text:
            pending[1] = text
        elif tag == "-" and pending and pending[2] is None:
            if not text:
                sys.exit("%s:%d: empty anchor" % (path, no))
            pending[2] = text
        elif tag == "+" and pending and pending[2] is not None:
            mutants.append(Mutant(current, pending[0], pending[1], pending[2], text, pending[3]))
            pending = None
        else:
            sys.exit("%s:%d: unexpected line: %s" % (path, no, line))
    if pending:
        sys.exit("%s:%d: unfinished fault" % (path, pending[3]))
    per_file = collections.Counter()
    for m in mutants:
        per_file[m.path] += 1
        m.id = "%s#%d" % (m.path[len("src/"):] if m.path.startswith("src/") else m.path, per_file[m.path])
    return mutants


def tree_files():
    """The files of the checkout as git sees them: tracked and new, without ignored ones."""
    out = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=REPO,
                         capture_output=True, check=True).stdout.decode("utf-8", "surrogateescape")
    return sorted({f for f in out.split("\0") if f and (REPO / f).is_file()})


def sync_tree(dest):
    """Makes `dest` a copy of the checkout, touching only files that differ (so builds stay warm)."""
    wanted = set(tree_files())
    for rel in wanted:
        src, dst = REPO / rel, dest / rel
        if dst.is_file() and dst.read_bytes() == src.read_bytes():
            continue
        dst.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(src, dst)
        shutil.copymode(src, dst)
    for folder, dirs, files in os.walk(dest):
        if folder == str(dest):
            dirs[:] = [d for d in dirs if d != "build"]
        for name in files:
            path = pathlib.Path(folder, name)
            if path.relative_to(dest).as_posix() not in wanted:
                path.unlink()


class Stopped(Exception):
    pass


class Worker:
    """One copy of the tree with its own build folder."""

    running = set()          # process groups to end on an interrupt
    lock = threading.Lock()
    stop = threading.Event()

    def __init__(self, root, build_jobs, timeout, every_test=False):
        self.root = root
        self.every_test = every_test  # run every test, not only up to the first failure
        self.tree = root / "tree"
        self.build = self.tree / "build"
        self.build_jobs = build_jobs
        self.timeout = timeout
        # The tests find shared data beside the source folder (<source>/../shared).
        shared = REPO.parent / "shared"
        link = root / "shared"
        root.mkdir(parents=True, exist_ok=True)
        if shared.is_dir() and not link.exists():
            link.symlink_to(shared)

    def run(self, args, timeout=None, env=None):
        """(status, output): status is "ok", "failed" or "timeout"."""
        if self.stop.is_set():
            raise Stopped()
        proc = subprocess.Popen(args, cwd=self.tree, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                start_new_session=True, env=env)
        with self.lock:
            self.running.add(proc)
        try:
            out, _ = proc.communicate(timeout=timeout)
            status = "ok" if proc.returncode == 0 else "failed"
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            out, _ = proc.communicate()
            status = "timeout"
        finally:
            with self.lock:
                self.running.discard(proc)
        if self.stop.is_set():
            raise Stopped()
        return status, out.decode("utf-8", "replace")

    def prepare(self):
        self.tree.mkdir(parents=True, exist_ok=True)
        sync_tree(self.tree)
        # No link-time optimisation: every fault relinks the module, and a plain link is much faster.
        status, out = self.run(["cmake", "-S", ".", "-B", "build", "-DVOMBRELLE_PYTHON=" + PYTHON,
                                "-DCMAKE_INTERPROCEDURAL_OPTIMIZATION=OFF"])
        if status != "ok":
            raise RuntimeError("configuring %s failed:\n%s" % (self.tree, out))

    def compile(self):
        return self.run(["cmake", "--build", "build", "-j", str(self.build_jobs)])

    def test(self, module_only, timeout=None):
        if self.every_test:
            env = dict(os.environ, PYTEST_ADDOPTS="-rf")
            args = ["ctest", "--test-dir", "build", "--output-on-failure"]
        else:
            env = dict(os.environ, GTEST_FAIL_FAST="1", PYTEST_ADDOPTS="-x")
            args = ["ctest", "--test-dir", "build", "--stop-on-failure", "--output-on-failure"]
        if module_only:  # the core tests link no binding code
            args += ["-E", "^core_tests$"]
        return self.run(args, timeout=timeout, env=env)

    def baseline(self):
        status, out = self.compile()
        if status != "ok":
            raise RuntimeError("the unmutated tree does not build:\n" + out[-3000:])
        start = time.monotonic()
        status, out = self.test(module_only=False)
        if status != "ok":
            raise RuntimeError("the unmutated tree fails its tests:\n" + out[-3000:])
        return time.monotonic() - start

    def try_mutant(self, m):
        """(outcome, detail): caught, survived, timeout, no-build or stale."""
        path = self.tree / m.path
        original = path.read_text(encoding="utf-8")
        mutated, why = m.apply(original)
        if mutated is None:
            return "stale", why
        try:
            path.write_text(mutated, encoding="utf-8")
            status, out = self.compile()
            if status == "timeout":
                return "timeout", "build"
            if status != "ok":
                # A fault in a test-only path may still build the core: only a compile error of
                # the mutated file itself makes the fault unusable.
                return "no-build", last_lines(out, 4)
            status, out = self.test(module_only=m.folder == "module", timeout=self.timeout)
            if status == "timeout":
                return "timeout", "tests"
            if status != "failed":
                return "survived", ""
            return "caught", (failing_tests(out) if self.every_test else failing_test(out))
        finally:
            path.write_text(original, encoding="utf-8")  # newer than the mutant's objects: rebuilt next

    def test_names(self):
        """Every test of the suite, as failing_tests() names them."""
        names = []
        status, out = self.run(["build/core_tests", "--gtest_list_tests"])
        suite = ""
        for line in out.splitlines():
            if not line.startswith(" "):
                suite = line.strip()
            elif line.strip():
                names.append(suite + line.split("#")[0].strip())
        env = dict(os.environ, PYTHONPATH=str(self.build))
        status, out = self.run([PYTHON, "-m", "pytest", "--collect-only", "-q", "-p", "no:cacheprovider",
                                "tests/python"], env=env)
        names += sorted({python_test(l) for l in out.splitlines() if "::" in l})
        return names


def last_lines(text, n):
    lines = [l for l in text.splitlines() if "error" in l] or text.splitlines()
    return " | ".join(l.strip() for l in lines[:n])


def python_test(nodeid):
    """tests/python/test_x.py::test_y[params] -> test_x.py::test_y"""
    path, _, name = nodeid.partition("::")
    return path.rsplit("/", 1)[-1] + "::" + name.split("[")[0].split(" ")[0]


def failing_tests(out):
    names = set()
    for line in out.splitlines():
        s = line.strip()
        if s.startswith("[  FAILED  ]") and "." in s and "listed below" not in s:
            names.add(s[len("[  FAILED  ]"):].split("(")[0].split(",")[0].strip())
        elif s.startswith("FAILED ") and "::" in s:
            names.add(python_test(s[len("FAILED "):]))
    return sorted(names)


def failing_test(out):
    for line in out.splitlines():
        s = line.strip()
        if s.startswith("[  FAILED  ]") or s.startswith("FAILED ") or s.startswith("E   "):
            return s[:160]
    return ""


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--folder", action="append", default=[],
                    help="only faults in src/<folder> (repeatable)")
    ap.add_argument("--only", action="append", default=[],
                    help="only the fault with this id (folder/file#n), or whose id or description "
                         "contains this text (repeatable)")
    ap.add_argument("--jobs", type=int, default=2, help="copies built and tested side by side (default 2)")
    ap.add_argument("--build-jobs", type=int, default=1, help="compiler processes per copy (default 1)")
    ap.add_argument("--timeout", type=float, default=0,
                    help="seconds the tests may take per fault (default: 5 x the unmutated run, at least 60)")
    ap.add_argument("--workdir", type=pathlib.Path, default=REPO / "build-mutate")
    ap.add_argument("--catalogue", type=pathlib.Path, default=CATALOGUE)
    ap.add_argument("--kills", action="store_true",
                    help="run every test for every fault (slower) and report, per test, the faults it "
                         "catches and those only it catches: tests that catch none are candidates to go")
    ap.add_argument("--list", action="store_true", help="list the faults and exit")
    ap.add_argument("--check", action="store_true", help="check every anchor against the checkout and exit")
    args = ap.parse_args()

    mutants = read_catalogue(args.catalogue)
    if args.folder:
        mutants = [m for m in mutants if m.folder in args.folder]
    if args.only:
        # An id (with its "#") names one entry; other texts pick by id or description.
        mutants = [m for m in mutants if any(o == m.id or ("#" not in o and (o in m.id or o in m.description))
                                             for o in args.only)]
    if args.list:
        for m in mutants:
            print("%-40s %s" % (m.id, m.description))
        return 0

    stale = []
    for m in mutants:
        source = REPO / m.path
        why = "file is gone" if not source.is_file() else m.apply(source.read_text(encoding="utf-8"))[1]
        if why:
            stale.append((m, why))
    if args.check or not mutants:
        report_stale(stale, args.catalogue)
        print("%d faults, %d anchors to mend" % (len(mutants), len(stale)))
        return 1 if stale else 0
    live = [m for m in mutants if m not in {s for s, _ in stale}]

    jobs = max(1, min(args.jobs, len(live)))
    workers = [Worker(args.workdir / ("copy%d" % i), args.build_jobs, args.timeout, args.kills)
               for i in range(jobs)]
    test_names = []
    results = {}
    queue = collections.deque()
    # Faults of one file go to one copy, back to back: each then recompiles one file.
    by_file = collections.defaultdict(list)
    for m in live:
        by_file[m.path].append(m)
    for path in sorted(by_file, key=lambda p: -len(by_file[p])):
        queue.append(by_file[path])
    done = [0]
    print_lock = threading.Lock()
    errors = []

    def work(worker):
        try:
            worker.prepare()
            took = worker.baseline()
            if args.kills:
                names = worker.test_names()
                with print_lock:
                    test_names[:] = names
            if not worker.timeout:
                worker.timeout = max(60.0, 5 * took)
            while True:
                with print_lock:
                    if not queue:
                        return
                    batch = queue.popleft()
                for m in batch:
                    start = time.monotonic()
                    outcome, detail = worker.try_mutant(m)
                    results[m] = (outcome, detail)
                    with print_lock:
                        done[0] += 1
                        shown = ", ".join(detail) if isinstance(detail, list) else detail
                        print("[%d/%d] %-9s %-38s %s (%.0fs)%s" % (
                            done[0], len(live), outcome, m.id, m.description, time.monotonic() - start,
                            "\n          " + shown if shown and outcome in ("caught", "no-build") else ""),
                            flush=True)
        except Stopped:
            pass
        except Exception as e:  # noqa: BLE001 - reported once the other copies are done
            errors.append(e)
            Worker.stop.set()

    threads = [threading.Thread(target=work, args=(w,)) for w in workers]
    print("%d faults on %d copies in %s" % (len(live), jobs, args.workdir), flush=True)
    for t in threads:
        t.start()
    try:
        for t in threads:
            while t.is_alive():
                t.join(0.5)
    except KeyboardInterrupt:
        print("\ninterrupted: stopping the copies (the checkout was never touched)", flush=True)
        Worker.stop.set()
        with Worker.lock:
            for proc in list(Worker.running):
                try:
                    os.killpg(proc.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
        for t in threads:
            t.join()
        return 130
    for e in errors:
        print("error: %s" % e, file=sys.stderr)
    if errors:
        return 2

    report(results, stale, args.catalogue)
    if args.kills:
        report_kills(results, test_names)
    return 1 if stale else 0


def report_kills(results, test_names):
    """Per test: the faults it catches, and those no other test catches."""
    caught_by = {m: set(d) for m, (o, d) in results.items() if o == "caught" and isinstance(d, list)}
    print("\n%-70s caught  alone" % "test")
    for name in test_names + sorted({t for ts in caught_by.values() for t in ts} - set(test_names)):
        caught = [m for m, ts in caught_by.items() if name in ts]
        alone = [m.id for m in caught if len(caught_by[m]) == 1]
        print("%-70s %6d  %5d  %s" % (name, len(caught), len(alone), " ".join(sorted(alone))))


def report_stale(stale, catalogue):
    if stale:
        print("\nanchors that no longer match (re-anchor these entries of %s):" % catalogue.name)
        for m, why in stale:
            print("  line %-4d %-38s %s: %s" % (m.line_no, m.id, why, m.anchor.strip()))


def report(results, stale, catalogue):
    folders = collections.OrderedDict()
    for m, (outcome, _) in results.items():
        f = folders.setdefault(m.folder, collections.Counter())
        f[outcome] += 1
    print("\nfolder        caught / planted")
    total = collections.Counter()
    for name in sorted(folders):
        c = folders[name]
        total.update(c)
        planted = c["caught"] + c["timeout"] + c["survived"]
        caught = c["caught"] + c["timeout"]
        extra = "  (%d do not build)" % c["no-build"] if c["no-build"] else ""
        print("%-12s %4d / %-4d %5.1f %%%s" % (name, caught, planted, 100.0 * caught / planted if planted else 0, extra))
    planted = total["caught"] + total["timeout"] + total["survived"]
    caught = total["caught"] + total["timeout"]
    print("%-12s %4d / %-4d %5.1f %%" % ("all", caught, planted, 100.0 * caught / planted if planted else 0))
    survivors = [m for m, (o, _) in results.items() if o == "survived"]
    if survivors:
        print("\nsurvivors:")
        for m in sorted(survivors, key=lambda m: m.id):
            print("  %-38s %s" % (m.id, m.description))
    unbuilt = [m for m, (o, _) in results.items() if o == "no-build"]
    if unbuilt:
        print("\nfaults that do not compile (mend the entry):")
        for m in sorted(unbuilt, key=lambda m: m.id):
            print("  line %-4d %-38s %s" % (m.line_no, m.id, results[m][1]))
    report_stale(stale, catalogue)


if __name__ == "__main__":
    sys.exit(main())
