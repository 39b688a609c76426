#!/usr/bin/env bash
# Sets up the machine, builds vordel and runs every test: the full build with GCC, the static
# checks (formatting, clang-tidy, cppcheck: no finding passes), the unit tests, fuzz corpora and
# end-to-end tests against real components, then every library and its tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the tests of the threads (platform, MIDI,
# outputs, player, control, composer) under ThreadSanitizer. Each stage says what it runs, and
# the long ones how far they are.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=$(nproc)
STAGES=9
stage=0
step() {
  stage=$((stage + 1))
  echo "== [$stage/$STAGES] $* ($(date +%H:%M:%S)) =="
}

step "setup: the packages the build and the tests need"
bash scripts/setup.sh test

step "build with GCC (RelWithDebInfo), tests and benchmarks included"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORDEL_BUILD_TESTS=ON -DVORDEL_BUILD_BENCH=ON
cmake --build build -j"$JOBS"

step "static checks: clang-format, clang-tidy (.clang-tidy) on $JOBS cores, cppcheck"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
files=$(git ls-files 'src/*.cpp' 'bench/*.cpp' 'fuzz/*.cpp' | wc -l)
echo "clang-format: clean; clang-tidy over $files files:"
# One line a file as it is checked, the findings if any, and a failing exit code.
if ! run-clang-tidy -p build -j "$JOBS" -quiet "$ROOT/(src|bench|fuzz)/.*\.cpp\$" 2>&1 |
  awk -v total="$files" '
    /^clang-tidy-[0-9]+ .* \/[^ ]*\.cpp$/ { n++; printf "  [%d/%d] %s\n", n, total, $NF; fflush(); next }
    /warnings generated\.$|^Suppressed [0-9]+ warnings|^Use -header-filter|^Running clang-tidy/ { next }
    { print; fflush() }'; then
  echo "clang-tidy found something (above)"
  exit 1
fi
cppcheck --project=build/compile_commands.json --enable=warning,performance,portability \
  --inline-suppr --suppress=missingIncludeSystem --suppress='*:/usr/*' --suppress='*:*/build/*' \
  -i tests --quiet -j"$JOBS" --error-exitcode=1

step "tests: unit, fuzz corpora, end to end (each test's line as it ends)"
(cd build && ctest -j"$JOBS" --output-on-failure --timeout 900)

step "build with clang under ASan + UBSan, without the window"
CC=clang CXX=clang++ cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug \
  -DVORDEL_SANITIZE=address,undefined -DVORDEL_WITH_WINDOW=OFF -DVORDEL_BUILD_BENCH=OFF
cmake --build build-asan -j"$JOBS"

step "tests under ASan + UBSan"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest -j"$JOBS" --output-on-failure --timeout 900 -E '^e2e_')

step "build with clang under TSan, without the window"
CC=clang CXX=clang++ cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVORDEL_SANITIZE=thread -DVORDEL_WITH_WINDOW=OFF -DVORDEL_BUILD_BENCH=OFF
cmake --build build-tsan -j"$JOBS"

step "tests of the threads under TSan"
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$ROOT/scripts/tsan.supp" \
  ctest -j"$JOBS" --output-on-failure --timeout 900 -L threads)

step "done: every test passed"
