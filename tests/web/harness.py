"""What the web console's end-to-end tests share: the driver on the test's bus with the
simulator's control folder, lonworks-web with its users and configuration on a free port,
an HTTP client that keeps its cookie, a small WebSocket client, lonctl and simulator
control lines. Every file goes into one temporary folder."""

import argparse
import base64
import http.cookiejar
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.request

ARGS = None
# Generous bounds that only fail on a hang: how fast values come is the benchmark's business.
VALUE_WAIT = 45
START_WAIT = 90


def parse_args():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument('--bin', required=True)
    ARGS, rest = parser.parse_known_args()
    sys.argv[1:] = rest


def wait_for(predicate, seconds, step=0.1):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


class Console:
    """The driver and lonworks-web, started once for a test module."""

    def __init__(self, sites=('Plant',), users=True, interfaces=None, env=None, config=None, driver=True):
        """sites: their descriptions, on LON1 unless `interfaces` names each one's interface;
        driver: start the driver (else one already runs on the bus)."""
        self.dir = tempfile.mkdtemp(prefix='lw-web-')
        self.control = os.path.join(self.dir, 'control')
        os.mkdir(self.control)
        self.env = dict(os.environ, LONSIM_CONTROL=self.control, QT_QPA_PLATFORM='offscreen', LC_ALL='C.UTF-8',
                        **(env or {}))
        self.sequence = 0
        self.driver = None
        if driver:
            with open(self.path('driver.log'), 'w') as driver_log:
                self.driver = subprocess.Popen([self.program('lonworks-driver')], env=self.env,
                                               stdout=subprocess.DEVNULL, stderr=driver_log)
            if not wait_for(self.driver_owns_name, 30):
                raise RuntimeError('the driver did not take its bus name')
        self.users = self.path('users')
        if users:
            self.add_user('admin', 'admin', 'correct horse')
            self.add_user('viewer', 'viewer', 'just looking')
        settings = {
            'listen': {'address': '127.0.0.1', 'port': 0},
            'collectSeconds': 0.3,
            'statusSeconds': 5,
            'commandTimeoutSeconds': 30,
            'siteRetryMinSeconds': 0.2,
            'siteRetryMaxSeconds': 2,
            'trend': {'samples': 240, 'minSpacingSeconds': 0, 'csvFolder': self.path('trends')},
            'sites': [{'description': name, 'interface': (interfaces or {}).get(name, 'LON1')} for name in sites],
        }
        settings.update(config or {})
        if users:
            settings['users'] = self.users
        with open(self.path('web.json'), 'w') as f:
            json.dump(settings, f)
        self.log = open(self.path('web.log'), 'w')
        self.web = subprocess.Popen([self.program('lonworks-web'), '--config', self.path('web.json')], env=self.env,
                                    stdout=subprocess.PIPE, stderr=self.log, text=True)
        line = self.web.stdout.readline().strip()
        if not line.startswith('lonworks-web: serving '):
            raise RuntimeError(f'lonworks-web did not start: {line!r} {self.web_log()}')
        self.url = line.split()[-1].rstrip('/')
        self.port = int(self.url.rsplit(':', 1)[1])

    def program(self, name):
        return os.path.join(ARGS.bin, name)

    def path(self, name):
        return os.path.join(self.dir, name)

    def web_log(self):
        self.log.flush()
        with open(self.path('web.log')) as f:
            return f.read()

    def driver_owns_name(self):
        result = subprocess.run(['dbus-send', '--session', '--print-reply', '--dest=org.freedesktop.DBus',
                                 '/org/freedesktop/DBus', 'org.freedesktop.DBus.NameHasOwner',
                                 'string:QelLonWorks.QelLonWorksCom'], capture_output=True, text=True)
        return 'boolean true' in result.stdout

    def add_user(self, name, role, password):
        subprocess.run([self.program('lonworks-web'), '--add-user', name, '--role', role, '--users-file', self.users],
                       input=password + '\n', text=True, check=True, capture_output=True, env=self.env)

    def lonctl(self, *args):
        result = subprocess.run([self.program('lonctl'), *args], capture_output=True, text=True, env=self.env, timeout=60)
        return (result.stdout + result.stderr).strip()

    def control_lines(self, *lines):
        """Runs control lines at the simulator and waits until the library has read them."""
        self.sequence += 1
        name = os.path.join(self.control, f'w{self.sequence:04d}')
        with open(name + '.part', 'w') as f:
            f.write('\n'.join(lines) + '\n')
        os.rename(name + '.part', name + '.cmd')
        if not wait_for(lambda: os.path.exists(name + '.done'), 20, 0.05):
            raise RuntimeError('the simulator did not read its control lines')

    def wait_online(self, client, sites=('Plant',)):
        def online():
            listed = client.get('/api/sites')[1]
            return all(s['online'] and s['points'] > 0 and s['firstCycleMs'] >= 0 for s in listed if s['name'] in sites)
        if not wait_for(online, START_WAIT, 0.5):
            raise RuntimeError(f'the sites never came online: {client.get("/api/sites")} {self.web_log()}')

    def stop(self):
        """Ends the console (SIGTERM: it gives its driver objects back) and the driver; raises
        when the console did not end cleanly or a sanitizer spoke."""
        self.web.stdout.close()
        for process in (self.web, self.driver):
            if process and process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(30)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait(5)
        log = self.web_log()
        self.log.close()
        problems = []
        if self.web.returncode != 0:
            problems.append(f'lonworks-web ended with status {self.web.returncode}')
        if 'Sanitizer' in log or 'runtime error' in log:
            problems.append('a sanitizer reported on lonworks-web')
        if os.environ.get('LW_KEEP_TEST_FILES'):
            print('test files kept in', self.dir)
        else:
            shutil.rmtree(self.dir, ignore_errors=True)
        if problems:
            raise AssertionError('; '.join(problems) + '\n' + log[-4000:])


class Client:
    """urllib with a cookie jar: one browser's session."""

    def __init__(self, base, tls_context=None):
        self.base = base
        self.jar = http.cookiejar.CookieJar()
        handlers = [urllib.request.HTTPCookieProcessor(self.jar)]
        if tls_context:
            handlers.append(urllib.request.HTTPSHandler(context=tls_context))
        self.opener = urllib.request.build_opener(*handlers)
        self.csrf = ''

    def request(self, method, path, body=None, headers=None, raw=None, content_type='application/json'):
        data = raw if raw is not None else (None if body is None else json.dumps(body).encode())
        request = urllib.request.Request(self.base + path, data=data, method=method)
        if data is not None:
            request.add_header('Content-Type', content_type)
        if self.csrf and method != 'GET':
            request.add_header('X-CSRF-Token', self.csrf)
        for key, value in (headers or {}).items():
            request.add_header(key, value)
        try:
            with self.opener.open(request, timeout=60) as response:
                return response.status, self.decode(response), response.headers
        except urllib.error.HTTPError as error:
            return error.code, self.decode(error), error.headers

    @staticmethod
    def decode(response):
        text = response.read()
        if 'json' in (response.headers.get('Content-Type') or ''):
            return json.loads(text)
        return text.decode('utf-8', 'replace')

    def get(self, path, **kw):
        return self.request('GET', path, **kw)

    def post(self, path, body=None, **kw):
        return self.request('POST', path, body, **kw)

    def login(self, user, password):
        status, body, _ = self.post('/api/login', {'user': user, 'password': password})
        if status == 200:
            self.csrf = body['csrf']
        return status, body

    def cookie(self):
        return '; '.join(f'{c.name}={c.value}' for c in self.jar)


class WebSocket:
    """A minimal WebSocket client (text frames), enough to count and read the live feed."""

    @staticmethod
    def status_of(port, **kw):
        """The status the upgrade is answered with; the connection is closed."""
        page = WebSocket(port, **kw)
        page.close()
        return page.status

    def __init__(self, port, path='/api/live', cookie='', origin=None, timeout=10):
        self.sock = socket.create_connection(('127.0.0.1', port), timeout=timeout)
        key = base64.b64encode(os.urandom(16)).decode()
        head = (f'GET {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n'
                f'Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n')
        if cookie:
            head += f'Cookie: {cookie}\r\n'
        if origin:
            head += f'Origin: {origin}\r\n'
        self.sock.sendall((head + '\r\n').encode())
        self.buffer = b''
        while b'\r\n\r\n' not in self.buffer:
            chunk = self.sock.recv(4096)
            if not chunk:
                break
            self.buffer += chunk
        head, _, self.buffer = self.buffer.partition(b'\r\n\r\n')
        self.status = int(head.split(b' ')[1]) if head.startswith(b'HTTP/1.1 ') else 0

    def send_text(self, text, length=None):
        payload = text.encode()
        mask = os.urandom(4)
        size = len(payload) if length is None else length
        header = bytes([0x81])
        if size < 126:
            header += bytes([0x80 | size])
        elif size < 65536:
            header += bytes([0x80 | 126]) + struct.pack('>H', size)
        else:
            header += bytes([0x80 | 127]) + struct.pack('>Q', size)
        self.sock.sendall(header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))

    def read_frame(self):
        """(opcode, payload) of the next frame, or None when the connection ended."""
        def need(n):
            while len(self.buffer) < n:
                chunk = self.sock.recv(65536)
                if not chunk:
                    return False
                self.buffer += chunk
            return True
        if not need(2):
            return None
        opcode, size = self.buffer[0] & 0x0F, self.buffer[1] & 0x7F
        start = 2
        if size == 126:
            if not need(4):
                return None
            size, start = struct.unpack('>H', self.buffer[2:4])[0], 4
        elif size == 127:
            if not need(10):
                return None
            size, start = struct.unpack('>Q', self.buffer[2:10])[0], 10
        if not need(start + size):
            return None
        payload, self.buffer = self.buffer[start:start + size], self.buffer[start + size:]
        return opcode, payload

    def read_json(self):
        while True:
            frame = self.read_frame()
            if frame is None or frame[0] == 8:
                return None
            if frame[0] == 1:
                return json.loads(frame[1])

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass


CHROMIUM = '/usr/bin/chromium'
CHROMEDRIVER = '/usr/bin/chromedriver'


def start_chromium(profile, size):
    """Debian's headless Chromium under Selenium with a fresh profile, the viewport `size`;
    None when chromium, chromium-driver or python3-selenium is missing."""
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.options import Options
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        return None
    if not os.path.exists(CHROMIUM) or not os.path.exists(CHROMEDRIVER):
        return None
    options = Options()
    options.binary_location = CHROMIUM
    for argument in ('--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                     '--disable-background-networking', '--disable-component-update', '--disable-sync',
                     '--disable-dev-shm-usage', f'--user-data-dir={profile}'):
        options.add_argument(argument)
    browser = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    set_viewport(browser, size, False)
    browser.set_page_load_timeout(60)
    browser.set_script_timeout(60)
    return browser


def set_viewport(browser, size, mobile):
    browser.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                            {'width': size[0], 'height': size[1], 'deviceScaleFactor': 1, 'mobile': mobile})


def main():
    parse_args()
    unittest.main(verbosity=2)
