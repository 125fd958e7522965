#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for the given seconds
# (default 60). Findings land in build-fuzz/findings/<target>/; the run fails on any crash.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
CC=clang CXX=clang++ scripts/build.sh build-fuzz -DVARNEL_FUZZ=ON -DVARNEL_GUI=OFF -DVARNEL_TESTS=OFF -DVARNEL_BENCH=OFF
status=0
for target in build-fuzz/bin/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then continue; fi
  corpus=build-fuzz/corpus/$name
  findings=build-fuzz/findings/$name
  mkdir -p "$corpus" "$findings"
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds+=("fuzz/seeds/$name")
  echo "-- $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
       -artifact_prefix="$findings/" -print_final_stats=1 "$corpus" "${seeds[@]}" 2>"build-fuzz/$name.log"; then
    echo "!! $name failed; see build-fuzz/$name.log and $findings"
    tail -40 "build-fuzz/$name.log"
    status=1
  else
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "build-fuzz/$name.log" | sed "s/^/   /"
  fi
done
exit $status
