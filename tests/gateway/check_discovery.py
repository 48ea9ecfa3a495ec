#!/usr/bin/env python3
"""Checks the gateway's Home Assistant discovery with paho-mqtt, as Home Assistant reads it.

Usage: check_discovery.py PORT DISCOVERY_PREFIX EXPECTED_CONFIGS

Collects every retained message on the broker, then checks each config under
<DISCOVERY_PREFIX>/<component>/<node_id>/<object_id>/config: a JSON object with the keys
its component needs, today's default_entity_id instead of the retired object_id, a
unique_id seen once, a device with identifiers, availability on the gateway's status, every
topic it names that the gateway publishes (state, attributes, availability) holding a
retained message, states Home Assistant takes (numbers for sensors with a unit and for
numbers, within min and max; ISO 8601 for timestamps and dates; the on and off payloads
for binary sensors and switches), and a state class on every numeric sensor. Prints one
line per fault and exits 1 on any.
"""
import datetime
import json
import re
import sys
import time

import paho.mqtt.client as mqtt

COMPONENTS = {"sensor", "binary_sensor", "number", "switch", "text"}
# Keys each component needs to work (beyond name and unique_id).
NEEDED = {
    "sensor": {"state_topic"},
    "binary_sensor": {"state_topic", "payload_on", "payload_off"},
    "number": {"state_topic", "command_topic", "min", "max", "step"},
    "switch": {"state_topic", "command_topic", "payload_on", "payload_off"},
    "text": {"state_topic", "command_topic"},
}
DEVICE_CLASS_UNITS = {
    "temperature": {"°C", "°F"},
    "power": {"W", "kW"},
    "energy": {"Wh", "kWh"},
    "pressure": {"Pa", "kPa", "hPa", "bar", "mbar", "psi"},
    "carbon_dioxide": {"ppm"},
    "humidity": {"%"},
    "illuminance": {"lx"},
    "voltage": {"V", "mV", "kV"},
    "current": {"A", "mA"},
    "frequency": {"Hz", "kHz"},
}


def main():
    port, prefix, expected = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
    retained = {}

    def on_message(client, userdata, message):
        if message.retain:
            retained[message.topic] = message.payload.decode("utf-8")

    try:
        client = mqtt.Client(mqtt.CallbackAPIVersion.VERSION1, client_id="discovery-check")
    except AttributeError:
        client = mqtt.Client(client_id="discovery-check")
    client.on_message = on_message
    client.connect("127.0.0.1", port, 30)
    client.subscribe("#", qos=1)
    deadline = time.time() + 3
    while time.time() < deadline:
        client.loop(timeout=0.1)
    client.disconnect()

    faults = []
    unique_ids = set()
    configs = 0
    for topic, payload in sorted(retained.items()):
        if not topic.startswith(prefix + "/") or not topic.endswith("/config"):
            continue
        configs += 1
        parts = topic.split("/")
        if len(parts) != 5 or parts[1] not in COMPONENTS:
            faults.append(f"{topic}: not <prefix>/<component>/<node_id>/<object_id>/config")
            continue
        component = parts[1]
        for level in parts[2:4]:
            if not level or any(not (c.isalnum() or c in "_-") for c in level):
                faults.append(f"{topic}: id level {level!r} has characters Home Assistant refuses")
        try:
            config = json.loads(payload)
        except ValueError as error:
            faults.append(f"{topic}: not JSON ({error})")
            continue
        missing = ({"name", "unique_id", "device"} | NEEDED[component]) - set(config)
        if missing:
            faults.append(f"{topic}: missing {sorted(missing)}")
            continue
        if "object_id" in config:
            faults.append(f"{topic}: object_id is no longer read by Home Assistant (default_entity_id)")
        entity_id = config.get("default_entity_id", "")
        if not re.fullmatch(component + r"\.[a-z0-9_]+", entity_id):
            faults.append(f"{topic}: default_entity_id {entity_id!r} is not {component}.<slug>")
        if config["unique_id"] in unique_ids:
            faults.append(f"{topic}: unique_id {config['unique_id']} used twice")
        unique_ids.add(config["unique_id"])
        if not config["device"].get("identifiers"):
            faults.append(f"{topic}: device without identifiers")
        availability = [a["topic"] for a in config.get("availability", [])]
        if "availability_topic" in config:
            availability.append(config["availability_topic"])
        if not any(t.endswith("/status") and "/gateway/" in t for t in availability):
            faults.append(f"{topic}: not linked to the gateway's availability")
        for key in ["state_topic", "json_attributes_topic"]:
            if key in config and config[key] not in retained:
                faults.append(f"{topic}: {key} {config[key]} holds no retained message")
        for name in availability:
            if retained.get(name) not in ("online", "offline"):
                faults.append(f"{topic}: availability topic {name} holds {retained.get(name)!r}")
        device_class = config.get("device_class")
        if component in ("sensor", "number") and device_class in DEVICE_CLASS_UNITS:
            if config.get("unit_of_measurement") not in DEVICE_CLASS_UNITS[device_class]:
                faults.append(f"{topic}: unit {config.get('unit_of_measurement')!r} "
                              f"does not fit device_class {device_class}")
        if component == "number" and not config["min"] <= config["max"]:
            faults.append(f"{topic}: min above max")
        state = retained.get(config["state_topic"])
        numeric = component == "number" or "unit_of_measurement" in config
        if component in ("sensor", "number") and numeric:
            try:
                number = float(state)
            except (TypeError, ValueError):
                faults.append(f"{topic}: state {state!r} of a sensor with a unit is no number")
                number = None
            if component == "number" and number is not None and not config["min"] <= number <= config["max"]:
                faults.append(f"{topic}: state {number} outside {config['min']}..{config['max']}")
            if component == "sensor" and "state_class" not in config:
                faults.append(f"{topic}: a numeric sensor without a state_class")
        if component == "number" and config["step"] < 0.001:
            faults.append(f"{topic}: step {config['step']} below Home Assistant's 0.001")
        if device_class == "timestamp":
            try:
                if datetime.datetime.fromisoformat(state.replace("Z", "+00:00")).tzinfo is None:
                    faults.append(f"{topic}: timestamp {state!r} without a time zone")
            except (AttributeError, ValueError):
                faults.append(f"{topic}: timestamp state {state!r} is not ISO 8601")
        if device_class == "date":
            try:
                datetime.date.fromisoformat(state)
            except (TypeError, ValueError):
                faults.append(f"{topic}: date state {state!r} is not ISO 8601")
        if component in ("binary_sensor", "switch") and state not in (config["payload_on"], config["payload_off"]):
            faults.append(f"{topic}: state {state!r} is neither {config['payload_on']} nor {config['payload_off']}")
    if configs != expected:
        faults.append(f"{configs} configs under {prefix}/, expected {expected}")
    for fault in faults:
        print(fault)
    print(f"{configs} configs, {len(unique_ids)} unique ids, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
