#!/usr/bin/env bash
# The demonstration: starts the driver on the built-in simulated LonWorks network LON1
# and walks through a lonctl session: discovery, polling, a write read back, site status.
# Runs on a private bus when no session bus is there, headless when there is no display.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin=${BUILD_DIR:-$top/build}/bin
lonctl=$bin/lonctl
site=(--site Demo --interface LON1)

if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && [ -z "${LW_DEMO_ON_PRIVATE_BUS:-}" ]; then
  echo "No session bus: running the demonstration on a private one."
  exec env LW_DEMO_ON_PRIVATE_BUS=1 dbus-run-session -- "$0" "$@"
fi

step() { printf '\n== %s\n' "$*"; }
run() { printf '$ lonctl %s\n' "$*"; "$lonctl" "$@"; }

step "Starting lonworks-driver (LonWorks Network Driver V1.80)"
"$bin/lonworks-driver" >"${TMPDIR:-/tmp}/lonworks-driver-demo.log" 2>&1 &
driver=$!
trap 'kill "$driver" 2>/dev/null || true; wait "$driver" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
       org.freedesktop.DBus.NameHasOwner string:QelLonWorks.QelLonWorksCom 2>/dev/null \
       | grep -q "boolean true"; then
    break
  fi
  sleep 0.1
done
echo "The driver serves QelLonWorks.QelLonWorksCom on the session bus (pid $driver)."

step "Discovering the devices and their points (this reads every device's self-documentation)"
listing=$(mktemp)
"$lonctl" discover "${site[@]}" >"$listing"
head -n 14 "$listing"
echo "   ..."
tail -n 2 "$listing"
rm -f "$listing"

step "Polling a selection of points for a few cycles (values are printed as they change)"
run watch "${site[@]}" --seconds 12 \
  0:1:10:0:105:0:3:105 0:1:10:5:81:0:3:81 0:1:20:0:39:0:2:39 0:1:20:8:102:0:2:102

step "Writing the room setpoint and reading it back"
run write "${site[@]}" 0:1:10:1:105:0:3:105 22.5
run read "${site[@]}" 0:1:10:1:105:0:3:105

step "Site status and time"
run status "${site[@]}"
run time "${site[@]}"

step "Done"
echo "Try it yourself: $lonctl --help"
