#!/usr/bin/env bash
# The soak: one hour (or SECONDS) of a live stream with periodic list
# downloads, parameter reads and Lua statements against the simulator, over
# TCP and over SSH at the same time. Each client samples its resident memory,
# open files and threads (every SAMPLE seconds); the run fails when one of
# them grows beyond a small bound. The curves are drawn as PNGs.
#
#   bench/soak.sh [SECONDS=3600] [SAMPLE=60] [OUT=soak-out]
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-3600}
every=${2:-60}
out=${3:-soak-out}
build=${BUILD:-build/release}  # BUILD=build/dev for a quick check
[ -x $build/apps/cli/vanta-cli ] || { cmake --preset release >/dev/null; cmake --build $build --target vanta-cli vanta-sim vanta-render; }
mkdir -p "$out"
root=$(mktemp -d)
$build/apps/sim/vanta-sim --port 0 --ssh-port 0 --text-interval 0 >"$out/sim.out" 2>"$out/sim.err" &
sim=$!
trap 'kill $sim 2>/dev/null || true; rm -rf "$root"' EXIT
for _ in $(seq 50); do grep -q "vanta-sim listening" "$out/sim.out" && break; sleep 0.1; done
port=$(grep -o 'vanta-sim listening on [0-9.]*:[0-9]*' "$out/sim.out" | sed 's/.*://')
ssh=$(grep -o 'ssh listening on [0-9.]*:[0-9]*' "$out/sim.out" | sed 's/.*://')
user=$(sed -n 's/^user=//p' data/device-defaults.ini)
pass=$(sed -n 's/^password=//p' data/device-defaults.ini)
timeout=$((secs + 120))
timeout $timeout $build/apps/cli/vanta-cli --port "$port" --data-dir "$root/tcp" --json \
  soak --seconds "$secs" --sample-every "$every" --samples "$out/tcp.csv" >"$out/tcp.json" 2>"$out/tcp.log" &
tcp=$!
timeout $timeout $build/apps/cli/vanta-cli --ssh --ssh-port "$ssh" --ccci-port "$port" --user "$user" --password "$pass" \
  --trust-new-host-key --data-dir "$root/ssh" --json \
  soak --seconds "$secs" --sample-every "$every" --samples "$out/ssh.csv" >"$out/ssh.json" 2>"$out/ssh.log" &
sshpid=$!
rc=0
wait $tcp || rc=1
wait $sshpid || rc=1
for k in tcp ssh; do
  # One region per curve: the constant files and threads lines would lie on each other.
  $build/apps/render/vanta-render time --in "$out/$k.csv" --png "$out/$k.png" --width 1200 --height 600 --stack 2 >/dev/null || true
  echo "$k: $(cat "$out/$k.json")"
done
echo "curves: $out/tcp.png $out/ssh.png"
exit $rc
