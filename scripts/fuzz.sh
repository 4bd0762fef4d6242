#!/usr/bin/env bash
# Builds the libFuzzer targets with Clang (with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time, starting
# from the seed corpus in tests/fuzz/corpus. Fails on any finding.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET]      (default 25)
# Debian's default Clang and its runtime (libFuzzer, the sanitizers): the
# unversioned packages follow whatever version the release makes default.
FENDRIX_EXTRA_PACKAGES="clang libclang-rt-dev"
FENDRIX_BUILD_FUZZ="${FENDRIX_BUILD_FUZZ:-$(cd "$(dirname "$0")/.." && pwd)/build-fuzz}"
source "$(dirname "$0")/prepara.sh"
secondi="${1:-25}"

CC=clang CXX=clang++ cmake -S "$FENDRIX_ROOT" -B "$FENDRIX_BUILD_FUZZ" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFENDRIX_FUZZ=ON -DFENDRIX_TESTS=OFF -DFENDRIX_BENCH=OFF >/dev/null
cmake --build "$FENDRIX_BUILD_FUZZ" -j"$(nproc)" --target fuzz_lettore fuzz_nucleo

lavoro=$(mktemp -d)
trap 'rm -rf "$lavoro"' EXIT
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
for bersaglio in lettore nucleo; do
    # Work on a copy of the seeds: the repository's corpus stays as it is.
    cp -r "$FENDRIX_ROOT/tests/fuzz/corpus/$bersaglio" "$lavoro/$bersaglio"
    lunghezza=65536
    [ "$bersaglio" = nucleo ] && lunghezza=2048  # the reference is quadratic
    echo "fuzz_$bersaglio: ${secondi}s"
    status=0
    "$FENDRIX_BUILD_FUZZ/fuzz/fuzz_$bersaglio" "$lavoro/$bersaglio" -max_total_time="$secondi" \
        -max_len="$lunghezza" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$lavoro/" > "$lavoro/log" 2>&1 || status=$?
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==ERROR|SUMMARY)' "$lavoro/log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$lavoro/log" >&2
        echo "fuzz_$bersaglio found a fault (exit $status); the input:" >&2
        ls "$lavoro"/crash-* "$lavoro"/timeout-* "$lavoro"/oom-* 2>/dev/null | head -n 1 | xargs -r od -c | head -n 20 >&2
        exit 1
    fi
done
echo "fuzzing: no findings"
