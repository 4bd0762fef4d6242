#!/usr/bin/env bash
# Builds the whole test suite with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan/ and runs it through CTest.
FENDRIX_BUILD="${FENDRIX_BUILD_ASAN:-$(cd "$(dirname "$0")/.." && pwd)/build-asan}"
source "$(dirname "$0")/prepara.sh"
cmake -S "$FENDRIX_ROOT" -B "$FENDRIX_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFENDRIX_SANITIZE=ON \
    -DFENDRIX_BENCH=OFF >/dev/null
cmake --build "$FENDRIX_BUILD" -j"$(nproc)"
cd "$FENDRIX_BUILD"
# Leaks inside the toolkit's own libraries (fonts, platform plugin) are not ours to fix.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$FENDRIX_ROOT/tests/lsan.supp"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
