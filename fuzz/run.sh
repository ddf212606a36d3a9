#!/usr/bin/env bash
# Runs every fuzzer built by the fuzz preset for a bounded time on a scratch
# copy of its seed corpus; fails on the first finding.
#   fuzz/run.sh [SECONDS_PER_FUZZER] [BUILD_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
seconds="${1:-60}"
build="${2:-$here/../build-fuzz}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
for bin in "$build"/fuzz/*_fuzzer; do
  name="$(basename "$bin" _fuzzer)"
  mkdir -p "$work/$name"
  [ -d "$here/corpus/$name" ] && cp -r "$here/corpus/$name/." "$work/$name/"
  dict=()
  [ -f "$here/$name.dict" ] && dict=(-dict="$here/$name.dict")
  echo "== $name: ${seconds}s"
  if ! (cd "$work" && "$bin" "${dict[@]}" -max_total_time="$seconds" -close_fd_mask=1 \
        -print_final_stats=1 -max_len=8192 -timeout=20 -rss_limit_mb=2048 "$work/$name" 2>"$work/$name.log"); then
    echo "!! $name found a problem:"; tail -n 60 "$work/$name.log"; status=1
  else
    grep -E '^stat::number_of_executed_units|^Done' "$work/$name.log" || true
  fi
done
exit $status
