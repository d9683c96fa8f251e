#!/usr/bin/env bash
# Mutation sampler: applies each planted fault listed in tests/mutants.txt to
# a scratch copy of the tree, rebuilds only the test programs named for it
# (ccache keeps this incremental), runs them, and reports whether the tests
# caught the fault. A developer tool; the test command does not run it.
#
#   scripts/mutants.sh [name-filter]
#
# The scratch copy lives in build-mutants/ at the top of the tree (ignored by
# git; ccache's base_dir makes its compiles hit the cache of build/). Set
# MUTANT_TIMEOUT (seconds per test program, default 300) if needed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
scratch="$root/build-mutants"
mkdir -p "$scratch"
# Copy only the files whose content differs, with a fresh time stamp: a copy
# that kept the tree's older stamps would leave the objects of the last
# mutant of an earlier run looking up to date.
python3 - "$root" "$scratch" <<'COPY'
import os, sys
root, scratch = sys.argv[1], sys.argv[2]
for d, dirs, files in os.walk(root):
    rel = os.path.relpath(d, root)
    dirs[:] = [x for x in dirs if not (rel == "." and (x.startswith("build") or x in (".git", "out")))]
    os.makedirs(os.path.join(scratch, rel), exist_ok=True)
    for f in files:
        src, dst = os.path.join(d, f), os.path.join(scratch, rel, f)
        data = open(src, "rb").read()
        if not os.path.exists(dst) or open(dst, "rb").read() != data:
            open(dst, "wb").write(data)
            os.chmod(dst, os.stat(src).st_mode)
COPY
if [ ! -f "$scratch/build/CMakeCache.txt" ]; then
    cmake -S "$scratch" -B "$scratch/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null
fi
exec python3 - "$scratch" "${1:-}" <<'EOF'
import os, subprocess, sys

scratch, only = sys.argv[1], sys.argv[2]
build = os.path.join(scratch, "build")
timeout = int(os.environ.get("MUTANT_TIMEOUT", "300"))
# What ctest would give the test programs (tests/support/paths.h).
os.environ["RIZA3V_SOURCE_DIR"] = scratch
os.environ["RIZA3V_BUILD_DIR"] = build

# Blocks: "## name target [target...]" then file:, from:, to:, user: lines.
mutants, cur = [], None
for line in open(os.path.join(scratch, "tests", "mutants.txt"), encoding="utf-8"):
    line = line.rstrip("\n")
    if line.startswith("## "):
        words = line[3:].split()
        cur = {"name": words[0], "targets": words[1:]}
        mutants.append(cur)
    elif cur is not None and (line[:5] in ("file:", "from:", "user:") or line[:3] == "to:"):
        key, _, value = line.partition(":")
        cur[key] = value[1:] if value.startswith(" ") else value

def run(cmd, cwd=None):
    return subprocess.run(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout * 4)

def tests_pass(targets):
    """Builds the targets and runs each program; None when the build fails."""
    if run(["cmake", "--build", build, "-j2", "--target", *targets]).returncode != 0:
        return None
    for t in targets:
        found = [os.path.join(d, t) for d, _, files in os.walk(build) if t in files]
        if not found:
            return None
        try:
            r = subprocess.run([found[0], "--gtest_brief=1"], cwd=os.path.dirname(found[0]),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout)
        except subprocess.TimeoutExpired:
            return False
        if r.returncode != 0:
            return False
    return True

chosen = [m for m in mutants if only in m["name"]]
targets = sorted({t for m in chosen for t in m["targets"]})
if not tests_pass(targets):
    sys.exit("the unchanged tree does not build or pass its tests: " + " ".join(targets))

caught, missed, broken = [], [], []
for m in chosen:
    path = os.path.join(scratch, m["file"])
    original = open(path, encoding="utf-8").read()
    if original.count(m["from"]) != 1:
        print(f"{m['name']}: text not found exactly once in {m['file']}")
        broken.append(m)
        continue
    open(path, "w", encoding="utf-8").write(original.replace(m["from"], m["to"]))
    try:
        result = tests_pass(m["targets"])
    finally:
        open(path, "w", encoding="utf-8").write(original)
    verdict = {None: "does not build", True: "MISSED", False: "caught"}[result]
    print(f"{m['name']}: {verdict}  ({m['file']}: {m['user']})", flush=True)
    (broken if result is None else missed if result else caught).append(m)

total = len(caught) + len(missed)
print(f"\n{len(caught)} of {total} caught ({100.0 * len(caught) / max(total, 1):.0f}%), "
      f"{len(broken)} not applicable")
for m in missed:
    print(f"  missed: {m['name']} ({m['file']})")
sys.exit(1 if missed or broken else 0)
EOF
