#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer + UndefinedBehavior-
# Sanitizer and runs every test with ctest. Exits non-zero on any failure.
#   VANTA_TEST_PRESET=dev ./test.sh    runs the same tests without sanitizers
set -euo pipefail
cd "$(dirname "$0")"

bash scripts/install-deps.sh
bash scripts/sshd-test-user.sh

preset="${VANTA_TEST_PRESET:-asan-ubsan}"
# Paths relative to the checkout in ccache's keys: a fresh clone elsewhere
# (CI) reuses what an earlier build of the same sources compiled.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
jobs="$(nproc 2>/dev/null || echo 2)"

# Sanitizer reports must fail the run; leak checking covers our own objects
# (suppressions keep Qt's process-lifetime allocations out of the report).
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# Suppressed leaks are not reported on stderr either: tests check that stderr
# stays clean, and when OpenSSL frees its thread state varies with load.
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

cmake --preset "$preset"
cmake --build --preset "$preset" -j "$jobs"
# The tests expect the German texts (the sources' language); those about English set their own locale.
export LC_ALL=C.UTF-8
ctest --preset "$preset" -j "$jobs"
