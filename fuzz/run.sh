#!/usr/bin/env bash
# Runs every fuzzer built by the fuzz preset for a bounded time on a scratch
# copy of its seed corpus; fails when any of them finds a problem.
#   fuzz/run.sh [SECONDS_PER_FUZZER] [BUILD_DIR]
# A reproducer of each finding is kept in BUILD_DIR/fuzz-findings/ and can be
# replayed with: BUILD_DIR/fuzz/NAME_fuzzer FILE
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
seconds="${1:-60}"
build="$(cd "${2:-$here/../build-fuzz}" && pwd)"
findings="$build/fuzz-findings"
mkdir -p "$findings"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
found=0
for bin in "$build"/fuzz/*_fuzzer; do
  [ -x "$bin" ] || continue
  found=$((found + 1))
  name="$(basename "$bin" _fuzzer)"
  mkdir -p "$work/$name"
  [ -d "$here/corpus/$name" ] && cp -r "$here/corpus/$name/." "$work/$name/"
  dict=()
  [ -f "$here/$name.dict" ] && dict=(-dict="$here/$name.dict")
  echo "== $name: ${seconds}s"
  # Absolute paths throughout: a harness may change its working folder.
  # Standard output is closed (-close_fd_mask=1): the programs' messages
  # would only slow the run down.
  if ! (cd "$work" && "$bin" "${dict[@]}" -max_total_time="$seconds" -close_fd_mask=1 \
        -print_final_stats=1 -max_len=8192 -timeout=20 -rss_limit_mb=2048 \
        -artifact_prefix="$findings/$name-" "$work/$name" </dev/null 2>"$work/$name.log"); then
    echo "!! $name found a problem:"; tail -n 60 "$work/$name.log"; status=1
  else
    grep -aE '^stat::number_of_executed_units|^Done' "$work/$name.log" || true
  fi
done
if [ "$found" -eq 0 ]; then
  echo "no fuzzers in $build/fuzz"; exit 1
fi
[ "$status" -eq 0 ] || echo "findings are in $findings"
exit $status
