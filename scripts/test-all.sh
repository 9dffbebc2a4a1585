#!/usr/bin/env bash
# Builds and runs every test through ctest: the normal build (warnings as
# errors), the whole suite again under AddressSanitizer + UndefinedBehavior-
# Sanitizer, and the fuzz targets (clang, libFuzzer) over their seed corpora.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
MOVI_WITH_BROWSER=1 bash "$root/scripts/install-deps.sh"
[ -x "$root/scripts/install-npm.sh" ] && bash "$root/scripts/install-npm.sh"

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1
status=0

# Every tracked C++ source follows .clang-format.
if [ -d "$root/.git" ] || git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
  echo "=== format ==="
  (cd "$root" && git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format-14 --dry-run -Werror) || {
    echo "Sources above are not formatted: run clang-format-14 -i on them." >&2
    status=1
  }
fi

run_tree() {
  local name=$1; shift
  local build="$root/build/$name"
  echo "=== $name ==="
  cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
  cmake --build "$build" -j"$jobs"
  (cd "$build" && ctest -j"$jobs" --timeout 600) || status=1
}

run_tree test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMOVI_WERROR=ON
run_tree asan -DCMAKE_BUILD_TYPE=Debug -DMOVI_SANITIZE=ON -DMOVI_BENCH=OFF -DMOVI_WERROR=ON
CC=clang-14 CXX=clang++-14 run_tree fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMOVI_FUZZ=ON \
  -DMOVI_GUI=OFF -DMOVI_TESTS=OFF -DMOVI_BENCH=OFF

if [ $status -ne 0 ]; then
  echo "Some tests failed." >&2
fi
exit $status
