#!/usr/bin/env bash
# CI entry for the fuzzers: configures and builds the fuzz preset (clang,
# ASan + UBSan, libFuzzer), then runs each fuzzer for a bounded time on top
# of its seed corpus and fails on any finding.
#   fuzz/ci.sh [SECONDS_PER_FUZZER]   (default 50; four fuzzers)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-50}"
cd "$root"
cmake --preset fuzz
cmake --build --preset fuzz
exec "$root/fuzz/run.sh" "$seconds" "$root/build-fuzz"
