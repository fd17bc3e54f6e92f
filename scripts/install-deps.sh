#!/usr/bin/env bash
# Installs the Debian packages Corvina needs to build and run; with --test also the
# test-only peers and reference libraries. Safe to run again: it installs only what is missing.
set -euo pipefail

runtime_pkgs=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libsqlite3-dev libssl-dev
  portaudio19-dev
)
test_pkgs=(
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  sip-tester baresip-core kamailio stun-server stun-client miniupnpd-nftables
  libspandsp-dev libgsm1-dev libgsm-tools libre-dev libsofia-sip-ua-dev
  ffmpeg sox espeak-ng tshark
  xvfb xauth
  lintian desktop-file-utils xdg-utils python3-aiosmtpd msmtp openssl
)

want=("${runtime_pkgs[@]}")
if [[ "${1:-}" == "--test" ]]; then
  want+=("${test_pkgs[@]}")
fi

missing=()
for p in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
  echo "Missing packages; run as root:" >&2
  echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
echo "Installing: ${missing[*]}"
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
