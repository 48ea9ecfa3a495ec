#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing the driver need,
# but only those that are missing. Safe to run again; quiet when nothing is missing.
# Packages named as arguments are installed too (scripts/package.sh: lintian, debootstrap).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config dpkg-dev file
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6dbus6
  dbus-daemon dbus-bin
  xvfb xauth x11-apps imagemagick
  libbenchmark-dev clang libclang-rt-14-dev
  python3-dbus
  tshark
  help2man man-db bash-completion
  libmosquitto-dev mosquitto mosquitto-clients python3-paho-mqtt libssl-dev openssl
  qt6-websockets-dev libjs-chart.js
  chromium chromium-driver python3-selenium
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "bootstrap: installing ${missing[*]} (a few minutes on a fresh machine)"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "bootstrap: done"
