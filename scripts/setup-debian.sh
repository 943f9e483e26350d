#!/usr/bin/env bash
# Installs the Debian 12 packages Glimmerpost needs.
#   setup-debian.sh run   what building and running the programs needs (scripts/run.sh)
#   setup-debian.sh       that and the test tools and mail peers (scripts/test.sh)
# Run as root (or with sudo available). Safe to run again: apt skips what is installed.
set -euo pipefail

set_name=${1:-all}
case "$set_name" in
  run|all) ;;
  *) echo "usage: $0 [run]" >&2; exit 2 ;;
esac

# Building and running.
RUN_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  qt6-httpserver-dev qt6-websockets-dev  # the approval service; its CMake files need the WebSockets ones
  # TLS to the providers: Qt's OpenSSL backend (in libqt6network6) loads libssl at
  # run time and trusts the system's certificates
  libssl3 ca-certificates
)

# Tests, benchmarks, fuzzing and the peers the tests talk to.
TEST_PACKAGES=(
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev
  # real mail peers the engine tests talk to over loopback
  dovecot-pop3d python3 python3-aiosmtpd curl swaks fetchmail mpop msmtp
  # throw-away certificates for the TLS peers
  openssl
  # windows under the offscreen platform, screenshots
  libqt6svg6 fonts-dejavu-core
  # the ways out of the programs run under its memory checker (tests/exit_paths)
  valgrind
)

PACKAGES=("${RUN_PACKAGES[@]}")
if [ "$set_name" = all ]; then PACKAGES+=("${TEST_PACKAGES[@]}"); fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Debian starts a system-wide dovecot when the package is installed; the tests run
# private instances on their own ports and do not need it.
if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet dovecot 2>/dev/null; then
  $SUDO systemctl stop dovecot || true
fi
echo "setup: all packages present ($set_name)"
