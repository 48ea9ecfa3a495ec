#!/usr/bin/env python3
"""lonworks-web at full size: SITES generated networks of 10 devices x 17 variables of
SNVT 106 (six setpoints each, 1,020 points a site), the real driver and console, and a
headless Chromium on the points page. It measures

  - the first load of the points page with every point (ms from navigation to the table
    standing with all rows, taken in the page),
  - the latency from the driver's poll reading a changed value to the page showing it, as
    the page measures it: the time of showing minus the start of the collection before the
    one that brought the value (the poller read the value after that), median and 95th
    percentile, while values change through the simulator's control channel,
  - the console's CPU share of one core and its resident memory at steady state, and the
    memory per point against a console with one small site.

Run under a session bus of its own, from the build folder:
  dbus-run-session -- /usr/bin/python3 bench/web_console.py --bin build/bin [--sites 20] [--seconds 60]
"""

import argparse
import json
import os
import random
import statistics
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'web'))
import harness  # noqa: E402
from harness import Client, Console, wait_for  # noqa: E402

DEVICES = 10
VARIABLES = 17
SNVT = 106          # SNVT_temp_setpt: six temperatures, 12 bytes
FIELDS = 6


def write_network(folder, name):
    devices = []
    for d in range(DEVICES):
        variables = [{'name': f'nvoSet{v:02d}', 'direction': 'out', 'snvt': SNVT,
                      'value': ' '.join(f'{b:02x}' for b in bytes(12))} for v in range(VARIABLES)]
        devices.append({'name': f'D{d}', 'neuronId': f'05:00:00:00:{d:02x}:01',
                        'domains': [{'id': '4C', 'subnet': 1, 'node': 1 + d}], 'variables': variables})
    description = {'name': name, 'timeScale': 0.001,
                   'interface': {'neuronId': '05:00:00:00:00:01',
                                 'domains': [{'id': '4C', 'subnet': 1, 'node': 126},
                                             {'id': '12:34:56', 'subnet': 2, 'node': 126}]},
                   'devices': devices}
    with open(os.path.join(folder, f'{name}.json'), 'w') as f:
        json.dump(description, f)


def cpu_seconds(pid):
    with open(f'/proc/{pid}/stat') as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf('SC_CLK_TCK')


def rss_bytes(pid):
    with open(f'/proc/{pid}/status') as f:
        for line in f:
            if line.startswith('VmRSS:'):
                return int(line.split()[1]) * 1024
    return 0


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100 * (len(ordered) - 1))))]


def baseline_rss():
    """The console's memory with one small site (LON1): what any console costs."""
    console = Console(config={'collectSeconds': 0.5, 'statusSeconds': 30})
    try:
        client = Client(console.url)
        client.login('admin', 'correct horse')
        console.wait_online(client)
        time.sleep(5)
        return rss_bytes(console.web.pid), client.get('/api/sites')[1][0]['points']
    finally:
        console.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--bin', required=True)
    parser.add_argument('--sites', type=int, default=20)
    parser.add_argument('--seconds', type=int, default=60)
    parser.add_argument('--collect', type=float, default=0.5)
    args = parser.parse_args()
    harness.ARGS = args

    base_rss, base_points = baseline_rss()
    networks = tempfile.mkdtemp(prefix='lw-web-bench-')
    names = [f'S{i:02d}' for i in range(1, args.sites + 1)]
    for name in names:
        write_network(networks, name)
    console = Console(sites=names, interfaces={n: n for n in names}, env={'LONSIM_PATH': networks},
                      config={'collectSeconds': args.collect, 'statusSeconds': 30, 'commandTimeoutSeconds': 120,
                              'discoveryTimeoutSeconds': 900, 'trend': {'samples': 240, 'minSpacingSeconds': 1}})
    browser = None
    changer = None
    stop = threading.Event()
    try:
        client = Client(console.url)
        client.login('admin', 'correct horse')
        started = time.monotonic()
        console.wait_online(client, names)
        sites = client.get('/api/sites')[1]
        points = sum(s['points'] for s in sites)
        cycles = [s['firstCycleMs'] / 1000 for s in sites]
        print(f'{len(sites)} sites, {points} points online after {time.monotonic() - started:.0f} s; '
              f'first cycles {min(cycles):.1f}-{max(cycles):.1f} s')

        browser = harness.start_chromium(tempfile.mkdtemp(prefix='lw-chromium-'), (1280, 800))
        browser.get(console.url + '/')
        wait_for(lambda: browser.find_elements('css selector', '#login-user'), 30)
        browser.find_element('css selector', '#login-user').send_keys('admin')
        browser.find_element('css selector', '#login-password').send_keys('correct horse')
        browser.find_element('css selector', '#login-button').click()
        wait_for(lambda: browser.execute_script('return window.lwTimings'), 60)
        loads = []
        for _ in range(3):
            browser.get(console.url + '/#points')
            browser.refresh()
            timing = wait_for(lambda: browser.execute_script('return window.lwTimings'), 120)
            loads.append(timing['shown'])
            rows = timing['points']
        print(f'first load of the points page with {rows} rows: {", ".join(f"{t:.0f}" for t in loads)} ms')

        # Values change at random, a few per second over every site.
        def change():
            rng = random.Random(1)
            sequence = 0
            while not stop.is_set():
                lines = []
                for _ in range(10):
                    site = rng.choice(names)
                    value = rng.randrange(1500, 2800).to_bytes(2, 'big').hex() * FIELDS
                    lines += [f'network {site}', f'set D{rng.randrange(DEVICES)} {rng.randrange(VARIABLES)} {value}']
                sequence += 1
                console.control_lines(*lines)
                stop.wait(1.0)
        changer = threading.Thread(target=change)
        changer.start()
        time.sleep(10)
        browser.execute_script('window.lwState.latencies = [];')
        pid = console.web.pid
        cpu_before, wall_before = cpu_seconds(pid), time.monotonic()
        time.sleep(args.seconds)
        cpu = (cpu_seconds(pid) - cpu_before) / (time.monotonic() - wall_before)
        latencies = browser.execute_script('return window.lwState.latencies;')
        rss = rss_bytes(pid)
        diagnostics = client.get('/api/diagnostics')[1]
        trend = sum(s['trendBytes'] for s in diagnostics['sites'])
        print(f'steady state over {args.seconds} s, values collected every {args.collect} s:')
        if latencies:
            print(f'  latency poll -> page: median {statistics.median(latencies):.0f} ms, '
                  f'95th percentile {percentile(latencies, 95):.0f} ms, max {max(latencies):.0f} ms '
                  f'({len(latencies)} batches)')
        print(f'  CPU {100 * cpu:.1f} % of one core; RSS {rss / 2**20:.1f} MiB '
              f'(one small site: {base_rss / 2**20:.1f} MiB, {base_points} points)')
        per_point = (rss - base_rss) / (points - base_points)
        # A point whose value changes every cycle takes one sample per cycle (8 bytes each),
        # up to the ring's 240.
        hour = min(240, 3600 / (sum(cycles) / len(cycles))) * 8
        print(f'  memory per point {per_point:.0f} bytes now (trends hold {trend} bytes in all); '
              f'with a 1-hour trend of a value that changes every cycle: {per_point + hour:.0f} bytes')
    finally:
        stop.set()
        if changer:
            changer.join()
        if browser:
            browser.quit()
        console.stop()


if __name__ == '__main__':
    main()
