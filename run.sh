#!/usr/bin/env bash
# Installs what is missing, builds the optimised tree and starts what exists:
# the device simulator and the desktop host connected to it. Without a display
# it says so and gives a tour of the command-line client instead.
set -euo pipefail
cd "$(dirname "$0")"

bash scripts/install-deps.sh
cmake --preset release >/dev/null
bin=build/release
# Only the programs started below; tests and benchmarks are for ./test.sh.
# The host exists only where Qt Widgets were found.
targets=(vanta-sim vanta-cli)
if grep -q '^build vanta-host:' "$bin/build.ninja" 2>/dev/null; then
  targets+=(vanta-host)
fi
cmake --build --preset release -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}"

sim="$bin/apps/sim/vanta-sim"
host="$bin/apps/host/vanta-host"
cli="$bin/apps/cli/vanta-cli"

if [ ! -x "$sim" ] || [ ! -x "$cli" ]; then
  echo "run.sh: the build did not produce vanta-sim and vanta-cli" >&2
  exit 1
fi

out=$(mktemp)
"$sim" --port 0 > "$out" 2> "$bin/vanta-sim.log" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true; rm -f "$out"' EXIT
for _ in $(seq 50); do
  grep -q "listening on" "$out" 2>/dev/null && break
  sleep 0.1
done
port=$(sed -n 's/.*listening on [^:]*:\([0-9]*\).*/\1/p' "$out" | head -1)
if [ -z "$port" ]; then
  echo "run.sh: vanta-sim did not start" >&2
  exit 1
fi
serial=$("$cli" --port "$port" --json identify 2>/dev/null | sed -n 's/.*"serial":\([0-9]*\).*/\1/p' || true)
echo "vanta-sim (simulated device${serial:+, serial $serial}) runs on 127.0.0.1:${port}; its log: $bin/vanta-sim.log"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$host" ]; then
  "$host" --connect "127.0.0.1:${port}"
  exit 0
fi

if [ ! -x "$host" ]; then
  echo "The desktop host (vanta-host) is not part of this build yet."
else
  echo "No display found (DISPLAY/WAYLAND_DISPLAY unset): the desktop host needs one."
fi
echo "A tour of the command-line client against the simulated device instead:"
tour() {
  echo
  echo "\$ vanta-cli $*"
  "$cli" --port "$port" "$@" || echo "(exit code $?)"
}
data=$(mktemp -d)
tour identify
tour --json identify
tour lua 'print(uti.version())'
tour lua 'local s = uti.stat() print(s.plant, s.deviceName, s.flashdrive0.used .. " bytes used")'
tour --data-dir "$data" setup get "$data/setup.xml"
echo "(setup.xml: $(grep -c '<parameter ' "$data/setup.xml" 2>/dev/null || echo 0) parameters)"
tour para rows "$data/setup.xml" --folder 234881023
tour para set "$data/setup.xml" 218103808=70 --out "$data/edited.xml"
tour mdb classes
tour --data-dir "$data" events list
tour --data-dir "$data" events get --all
tour --data-dir "$data" readout tree recordings
tour --data-dir "$data" -q readout download class 10min
tour record events "$(ls "$data"/*/Event/*-1764903600-375.log 2>/dev/null | head -1)"
tour stream panel --count 2
tour live panel
tour --data-dir "$data" status
tour --data-dir "$data" pcap start --packets 3 --file tour.pcap
tour --data-dir "$data" pcap list
tour lua 'error("a Lua error comes back with exit code 3")'
rm -rf "$data"
echo
echo "More: $cli --help; the simulator's options: $sim --help"
