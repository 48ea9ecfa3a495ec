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

# LON1 on MQTT: a local mosquitto of the demonstration's own (a free port, its files in a
# scratch folder), lonworks-gateway publishing the points, and mosquitto_sub/_pub as the
# other side. Skipped when mosquitto is not installed.
mosquitto_bin=$(command -v mosquitto || true)
[ -z "$mosquitto_bin" ] && [ -x /usr/sbin/mosquitto ] && mosquitto_bin=/usr/sbin/mosquitto
if [ -n "$mosquitto_bin" ] && command -v mosquitto_sub >/dev/null && [ -x "$bin/lonworks-gateway" ]; then
  step "Publishing LON1 to a local MQTT broker with lonworks-gateway"
  mqtt_dir=$(mktemp -d)
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$port" >"$mqtt_dir/mosquitto.conf"
  "$mosquitto_bin" -c "$mqtt_dir/mosquitto.conf" >"$mqtt_dir/mosquitto.log" 2>&1 &
  broker=$!
  cat >"$mqtt_dir/gateway.json" <<JSON
{
  "broker": {"url": "mqtt://127.0.0.1:$port", "clientId": "demo-gateway"},
  "topicPrefix": "lonworks",
  "sites": [{"description": "Demo", "interface": "LON1",
             "include": ["nvoSpaceTemp", "nviSetpoint", "nviLampSwitch", "nvoZoneTemp*", "nvoFanRpm", "nvoEnergy"]}]
}
JSON
  echo "Broker: mosquitto on 127.0.0.1:$port; gateway configuration:"
  sed 's/^/    /' "$mqtt_dir/gateway.json"
  sleep 0.5
  "$bin/lonworks-gateway" --config "$mqtt_dir/gateway.json" 2>"$mqtt_dir/gateway.log" &
  gateway=$!
  trap 'kill "$gateway" "$broker" 2>/dev/null || true; kill "$driver" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$mqtt_dir"' EXIT
  sleep 6
  printf '$ mosquitto_sub -t "lonworks/Demo/+/state" --retained-only -v\n'
  mosquitto_sub -h 127.0.0.1 -p "$port" -t 'lonworks/Demo/+/state' --retained-only -v -W 2 2>/dev/null || true
  printf '$ mosquitto_pub -t lonworks/Demo/nviSetpoint/set -m 23\n'
  mosquitto_pub -h 127.0.0.1 -p "$port" -q 1 -t lonworks/Demo/nviSetpoint/set -m 23
  mosquitto_sub -h 127.0.0.1 -p "$port" -t lonworks/Demo/nviSetpoint/result -v -C 1 -W 10 2>/dev/null || true
  sleep 2
  run read "${site[@]}" 0:1:10:1:105:0:3:105
  printf 'Home Assistant discovery: %s configs under homeassistant/\n' \
    "$(mosquitto_sub -h 127.0.0.1 -p "$port" -t 'homeassistant/#' --retained-only -W 2 2>/dev/null | wc -l)"
  kill "$gateway"; wait "$gateway" 2>/dev/null || true
  printf '$ mosquitto_sub -t "lonworks/+/status" -t "lonworks/gateway/+/status" --retained-only -v   (after SIGTERM)\n'
  mosquitto_sub -h 127.0.0.1 -p "$port" -t 'lonworks/+/status' -t 'lonworks/gateway/+/status' --retained-only -v -W 2 2>/dev/null || true
fi

step "Done"
echo "Try it yourself: $lonctl --help"

# The web console on the demonstration site, left running for a look in a browser (until
# Enter or Ctrl-C; at once when nobody is at the terminal). Its files go to a scratch folder.
if [ -x "$bin/lonworks-web" ]; then
  step "The web console (lonworks-web)"
  web_dir=$(mktemp -d)
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  echo demo | "$bin/lonworks-web" --add-user demo --role admin --users-file "$web_dir/users" >/dev/null
  cat >"$web_dir/web.json" <<JSON
{"listen": {"address": "127.0.0.1", "port": $port}, "users": "users", "sites": [{"description": "Demo", "interface": "LON1"}]}
JSON
  "$bin/lonworks-web" --config "$web_dir/web.json" >/dev/null 2>"$web_dir/web.log" &
  web=$!
  trap 'kill "$web" 2>/dev/null || true; kill "$driver" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$web_dir"' EXIT
  sleep 1
  echo "The console of site Demo is at http://127.0.0.1:$port/ (user demo, password demo)."
  if [ -t 0 ]; then
    read -r -p "Press Enter to end it. " _ || true
  fi
fi
