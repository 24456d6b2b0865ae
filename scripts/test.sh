#!/usr/bin/env bash
# Installs what is missing, builds every configuration the project tests and runs
# all tests. Exits non-zero on the first failure.
#   scripts/test.sh            every build the project tests (native, 32-bit drivers,
#                              ThreadSanitizer drivers, ASan+UBSan) and a short fuzz run
#   scripts/test.sh default    only the named presets
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

presets=("$@")
fuzz=0
if [ ${#presets[@]} -eq 0 ]; then
  presets=(default m32 tsan asan)
  fuzz=1
fi

jobs=$(nproc)
for preset in "${presets[@]}"; do
  echo "=== ${preset}: configure and build ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== ${preset}: test ==="
  ctest --preset "$preset" -j "$jobs" --no-tests=ignore
  if [ "$preset" = default ] && [ "$(id -u)" -eq 0 ]; then
    echo "=== default: Debian package: build, install, start ==="
    bash scripts/package-check.sh build/default
  fi
done

if [ "$fuzz" = 1 ]; then
  echo "=== fuzz: every target for a short, fixed number of runs ==="
  bash scripts/fuzz.sh
fi
