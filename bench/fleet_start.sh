#!/usr/bin/env bash
# Start-up of a simulated fleet: `vanta-sim --devices N` until all N device
# lines are out, its resident memory then, when every device root is filled,
# and the peak after one identify per device (each opens a session with its
# Lua engine and closes it again).
#
#   bench/fleet_start.sh [N=200] [RATE=0]
#
# Build with the release preset first (sanitizers inflate time and memory):
#   cmake --preset release && ninja -j1 -C build/release vanta-sim vanta-cli
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-200}
rate=${2:-0}
build=${BUILD:-build/release}
sim=$build/apps/sim/vanta-sim
cli=${CLI:-$build/apps/cli/vanta-cli}  # CLI=build/asan/apps/cli/vanta-cli works too
[ -x "$sim" ] || { echo "no $sim: build the release preset" >&2; exit 2; }
out=$(mktemp -d)
: >"$out/sim.out"
trap 'kill $pid 2>/dev/null || true; wait $pid 2>/dev/null || true; rm -rf "$out"' EXIT

t0=$(date +%s%N)
"$sim" --devices "$n" --port 0 --text-interval 0 --rate "$rate" >"$out/sim.out" 2>"$out/sim.err" &
pid=$!
while [ "$(wc -l <"$out/sim.out")" -lt "$n" ]; do
  kill -0 $pid 2>/dev/null || { cat "$out/sim.err" >&2; exit 1; }
  sleep 0.005
done
t1=$(date +%s%N)
rss() { awk -v k="$1:" '$1 == k { print $2 }' /proc/$pid/status; }
echo "devices:          $n"
echo "start (all lines): $(( (t1 - t0) / 1000000 )) ms"
echo "VmRSS after start: $(rss VmRSS) kB"
# The roots (default records, certificate) are filled after the ports listen,
# a device that is asked first is filled first.
for _ in $(seq 1200); do grep -q "device roots filled" "$out/sim.err" && break; sleep 0.1; done
echo "roots filled:      $(sed -n 's/.*device roots filled after \([0-9]*\) ms.*/\1/p' "$out/sim.err") ms after the lines"
echo "VmRSS then:        $(rss VmRSS) kB"
if [ -x "$cli" ]; then
  serials=0
  while read -r _ k _ sn _ port; do
    got=$("$cli" --port "$port" identify --json | sed -n 's/.*"serial":\([0-9]*\).*/\1/p')
    [ "$got" = "$sn" ] && serials=$((serials + 1))
  done <"$out/sim.out"
  echo "identify answered its own serial: $serials of $n"
  echo "VmRSS after:      $(rss VmRSS) kB (peak VmHWM $(rss VmHWM) kB)"
fi
