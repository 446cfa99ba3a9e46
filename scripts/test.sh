#!/usr/bin/env bash
# Builds NUVE and runs every test through CTest: the core and window tests,
# the concurrency tests again under ThreadSanitizer, the core tests again
# under AddressSanitizer and UndefinedBehaviorSanitizer, and each fuzz target
# for a bounded time. Window tests run under xvfb-run when no display is set.
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

# ---- Sanitizer and fuzz stages --------------------------------------------
# nuve_core and all its tests again with AddressSanitizer and
# UndefinedBehaviorSanitizer: any memory error, leak or undefined behaviour
# stops the test binary with a report, which fails the run.
cmake -S . -B build-asan -DNUVE_BUILD_UI=OFF -DNUVE_BUILD_BENCH=OFF \
      -DNUVE_SANITIZE=address,undefined -DNUVE_WERROR=$werror >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1" \
UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
  ctest --test-dir build-asan --output-on-failure --no-tests=error -j "$jobs" || status=1

# The fuzz targets, built with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer. All of them together fuzz for NUVE_FUZZ_BUDGET
# seconds of wall time (default 270), shared out evenly between the targets
# running $jobs at a time. A crash, hang, leak or sanitizer report fails the
# run and leaves the input in build-fuzz/tests/fuzz/artifacts/.
if [ -f tests/fuzz/CMakeLists.txt ]; then
  fuzz_targets=$(find tests/fuzz -maxdepth 1 -name '*_fuzz.cpp' | wc -l)
  fuzz_rounds=$(( (fuzz_targets + jobs - 1) / jobs ))
  fuzz_seconds=$(( ${NUVE_FUZZ_BUDGET:-270} / (fuzz_rounds > 0 ? fuzz_rounds : 1) ))
  (( fuzz_seconds >= 1 )) || fuzz_seconds=1
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DNUVE_FUZZ=ON -DNUVE_BUILD_UI=OFF \
      -DNUVE_BUILD_TESTS=OFF -DNUVE_BUILD_BENCH=OFF -DNUVE_FUZZ_SECONDS=$fuzz_seconds >/dev/null
  cmake --build build-fuzz -j "$jobs"
  ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
    ctest --test-dir build-fuzz --output-on-failure --no-tests=error -j "$jobs" -L fuzz || status=1
fi
# ---- End of the sanitizer and fuzz stages ---------------------------------
exit $status
