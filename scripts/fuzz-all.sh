#!/usr/bin/env bash
# The fuzz campaign: builds the libFuzzer targets (clang, "fuzz" preset),
# seeds each corpus from the sample content and runs the targets two at a
# time, each for SECONDS or RUNS executions, whichever comes first.
# Findings land in fuzz-out/<target>/; the summary lists executions and
# findings per target. Replay tests under tests/fuzz run in ./test.sh.
#
#   scripts/fuzz-all.sh [SECONDS=600] [RUNS=10000000] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-600}
runs=${2:-10000000}
shift $(( $# > 2 ? 2 : $# ))
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_frames fuzz_params fuzz_records fuzz_status fuzz_live fuzz_archives fuzz_mapping)

cmake --preset fuzz >/dev/null
cmake --build build/fuzz --target "${targets[@]}"

out=fuzz-out
mkdir -p "$out"
seed() {  # target -> corpus folder filled with what the target reads
  local t=$1 c="$out/$1/corpus"
  mkdir -p "$c"
  case $t in
    fuzz_params) cp data/device/mnt/flashdrive0/data/setup/*.xml "$c"/ 2>/dev/null || true ;;
    fuzz_records) find data/device -name '*.log' -size -200k | head -50 | xargs -r cp -t "$c" ;;
    fuzz_status) cp tests/data/status/*.txt "$c"/ 2>/dev/null || true ;;
    fuzz_frames) cp tests/data/*.golden "$c"/ 2>/dev/null || true ;;
    fuzz_mapping) cp build/fuzz/data/MappingDB.db "$c"/ && printf '\x12\0\0\0\x37\0\x04\x01Spannung' >"$c/query" ;;
    fuzz_archives) printf '127.0.0.1:5040 Nord\n' >"$c/hosts.txt"; printf '[{"host":"10.0.0.1","port":5040}]' >"$c/hosts.json" ;;
    *) printf 'seed' >"$c/seed" ;;
  esac
}
run() {
  local t=$1
  seed "$t"
  build/fuzz/tests/"$t" "$out/$t/corpus" -max_total_time="$secs" -runs="$runs" -rss_limit_mb=2048 \
    -max_len=131072 -artifact_prefix="$out/$t/" -print_final_stats=1 >"$out/$t/log.txt" 2>&1 || true
}
# Two at a time; a target that ends early (at its execution count) frees its
# slot for the next one at once.
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n || true; done
  run "$t" &
done
wait
printf '%-16s %14s %9s\n' target executions findings
for t in "${targets[@]}"; do
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$out/$t/log.txt" | grep -o '[0-9]*$' || echo '?')
  finds=$(find "$out/$t" -maxdepth 1 \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  printf '%-16s %14s %9s\n' "$t" "$execs" "$finds"
done
