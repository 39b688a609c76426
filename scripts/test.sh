#!/usr/bin/env bash
# Sets up the machine, builds vordel and runs every test: the full build with GCC, the static
# checks (formatting, clang-tidy, cppcheck: no finding passes), the unit tests, fuzz corpora and
# end-to-end tests against real components, then every library and its tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the tests of the threads (platform, MIDI,
# outputs, player, control, composer) under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

bash scripts/setup.sh

JOBS=$(nproc)

echo "== build (gcc, RelWithDebInfo) =="
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$JOBS"
echo "== static checks: clang-format, clang-tidy (.clang-tidy), cppcheck =="
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
git ls-files 'src/*.cpp' 'bench/*.cpp' 'fuzz/*.cpp' |
  xargs -P"$JOBS" -n4 clang-tidy -p build --quiet 2>/dev/null
cppcheck --project=build/compile_commands.json --enable=warning,performance,portability \
  --inline-suppr --suppress=missingIncludeSystem --suppress='*:/usr/*' --suppress='*:*/build/*' \
  -i tests --quiet -j"$JOBS" --error-exitcode=1

echo "== tests =="
(cd build && ctest -j"$JOBS" --output-on-failure --timeout 900)

echo "== build (clang, ASan + UBSan, without the window) =="
CC=clang CXX=clang++ cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug \
  -DVORDEL_SANITIZE=address,undefined -DVORDEL_WITH_WINDOW=OFF -DVORDEL_BUILD_BENCH=OFF
cmake --build build-asan -j"$JOBS"
echo "== tests under ASan + UBSan =="
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest -j"$JOBS" --output-on-failure --timeout 900 -E '^e2e_')

echo "== build (clang, TSan, without the window) =="
CC=clang CXX=clang++ cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVORDEL_SANITIZE=thread -DVORDEL_WITH_WINDOW=OFF -DVORDEL_BUILD_BENCH=OFF
cmake --build build-tsan -j"$JOBS"
echo "== tests of the threads under TSan =="
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$ROOT/scripts/tsan.supp" \
  ctest -j"$JOBS" --output-on-failure --timeout 900 -L threads)
