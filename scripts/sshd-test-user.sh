#!/usr/bin/env bash
# Creates the unprivileged account the OpenSSH interoperability test logs in
# with. Only root can do that; without it the test reports itself skipped.
# The account has no home folder and its only use is the test's own sshd,
# whose ForceCommand runs the simulator's Lua shell.
set -euo pipefail
user="${VANTA_SSHD_TEST_USER:-vantassh}"
password="${VANTA_SSHD_TEST_PASSWORD:-Vanta-ssh-2026}"
if [ "$(id -u)" -ne 0 ]; then
  echo "sshd-test-user: not root, the OpenSSH test will be skipped"
  exit 0
fi
if ! id "$user" >/dev/null 2>&1; then
  useradd --no-create-home --shell /bin/sh "$user"
  echo "sshd-test-user: created $user"
fi
echo "$user:$password" | chpasswd
# sshd's privilege separation folder, normally made by its service unit.
mkdir -p /run/sshd
chmod 0755 /run/sshd
