#!/usr/bin/env bash
# Installs what is missing, builds the optimised tree and starts what exists:
# the device simulator and the desktop host connected to it. Without a display
# it says so and gives a tour of the command-line client instead.
set -euo pipefail
cd "$(dirname "$0")"

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc 2>/dev/null || echo 2)"

bin=build/release
sim="$bin/apps/sim/vanta-sim"
host="$bin/apps/host/vanta-host"
cli="$bin/apps/cli/vanta-cli"

if [ ! -x "$sim" ]; then
  cat <<TXT

Vanta workspace: built in $bin.

What this build contains so far:
  - the CCCI frame codec with the whole command catalogue (builders and
    bounds-checked decoders for every request and answer),
  - the per-connection command queue (send one at a time, NAK handling,
    answer time-out, heartbeat, stream polling, orderly shutdown),
  - the shared vocabulary and the helper library (time stamps, firmware
    versions, formatting, gzip).

The device simulator, the command-line client and the desktop host are not
part of this build yet. Run ./test.sh to see every piece exercised.
TXT
  exit 0
fi

"$sim" --port 0 > /tmp/vanta-sim.out &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  grep -q "listening on" /tmp/vanta-sim.out 2>/dev/null && break
  sleep 0.1
done
port=$(sed -n 's/.*listening on [^:]*:\([0-9]*\).*/\1/p' /tmp/vanta-sim.out | head -1)
echo "vanta-sim runs on 127.0.0.1:${port}"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$host" ]; then
  "$host" --connect "127.0.0.1:${port}"
else
  echo "No display found: the desktop host needs one. A tour of the command-line client instead:"
  if [ -x "$cli" ]; then
    set -x
    "$cli" --port "$port" identify
    "$cli" --port "$port" --json identify
    "$cli" --port "$port" lua 'print(uti.version())'
  fi
fi
