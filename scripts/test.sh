#!/usr/bin/env bash
# Builds NUVE and runs every test through CTest: the core and window tests,
# the concurrency tests again under ThreadSanitizer, and each fuzz target
# briefly. Window tests run under xvfb-run when no display is set.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
werror=OFF
[ "${CI:-}" = true ] && werror=ON

cmake -S . -B build -DNUVE_BUILD_TESTS=ON -DNUVE_BUILD_BENCH=ON -DNUVE_WERROR=$werror >/dev/null
cmake --build build -j "$jobs"

run_ctest() {
  if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1280x1024x24" ctest "$@"
  else
    ctest "$@"
  fi
}
status=0
run_ctest --test-dir build --output-on-failure --no-tests=error -j "$jobs" || status=1

# The threads of the core again, with ThreadSanitizer watching.
cmake -S . -B build-tsan -DNUVE_BUILD_UI=OFF -DNUVE_BUILD_BENCH=OFF \
      -DNUVE_SANITIZE=thread -DNUVE_WERROR=$werror >/dev/null
cmake --build build-tsan -j "$jobs" --target nuve_core_concurrency_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan --output-on-failure --no-tests=error -L tsan || status=1

# The fuzz targets, a short run each, built with clang's libFuzzer.
if [ -f tests/fuzz/CMakeLists.txt ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DNUVE_FUZZ=ON -DNUVE_BUILD_UI=OFF \
      -DNUVE_BUILD_TESTS=OFF -DNUVE_BUILD_BENCH=OFF >/dev/null
  cmake --build build-fuzz -j "$jobs"
  ctest --test-dir build-fuzz --output-on-failure --no-tests=error || status=1
fi
exit $status
