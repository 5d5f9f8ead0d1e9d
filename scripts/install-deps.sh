#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine. Does nothing for
# packages already present, so it is cheap to run before every build.
set -euo pipefail

PKGS=(
  cmake ninja-build g++ clang-14 libclang-rt-14-dev pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libgammu-dev
  iproute2 dnsmasq-base dhcpcd-base ppp socat
  tshark
  android-liblog-dev android-libcutils-dev  # the device build's sources compiled against them
  chromium  # run headless by the trace page's test
)

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# tshark's wireshark-common asks whether non-root users may capture: answer no beforehand.
echo "wireshark-common wireshark-common/install-setuid boolean false" | $SUDO debconf-set-selections
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
