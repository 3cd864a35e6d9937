#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the simulator, the
# benchmarks and the Debian package (manual pages, icons, lintian) need. Safe
# to run again: it only calls apt when something is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git ccache
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6sql6-sqlite libqt6opengl6-dev
  libgl-dev
  libpugixml-dev libssh-dev libcurl4-openssl-dev libarchive-dev zlib1g-dev
  libsqlite3-dev libfftw3-dev liblua5.4-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-pyftpdlib tar gzip
  poppler-utils fonts-dejavu-core tcpdump tshark python3-jsonschema
  openssh-server openssh-client
  libqt6sql6-psql postgresql libcpp-httplib-dev chromium
  help2man librsvg2-bin lintian desktop-file-utils appstream
  qtkeychain-qt6-dev gnome-keyring dbus
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# tshark (for the dissector tests) would otherwise ask whether non-root users may capture.
echo "wireshark-common wireshark-common/install-setuid boolean false" | $SUDO debconf-set-selections
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
