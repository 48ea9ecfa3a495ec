"""lonworks-web's API end to end with an independent HTTP client (urllib, raw sockets and a
small WebSocket client): every endpoint and its errors, logins and roles, CSRF, path
traversal, oversized bodies and headers, a slow client, 200 live pages at once, and the
driver and another client (lonctl) unaffected."""

import json
import os
import socket
import ssl
import subprocess
import threading
import time
import unittest

import harness
from harness import Client, Console, WebSocket, wait_for

SETPOINT = '0:1:10:1:105:0:3:105'       # RoomController nviSetpoint, SNVT_temp_p
SPACE_TEMP = '0:1:10:0:105:0:3:105'     # RoomController nvoSpaceTemp, read-only
console = None
admin = None   # one login for the module: logins are rate-limited


def setUpModule():
    global console, admin
    console = Console()
    admin = Client(console.url)
    assert admin.login('admin', 'correct horse')[0] == 200
    console.wait_online(admin)


def tearDownModule():
    console.stop()


def point_path(address, site='Plant'):
    from urllib.parse import quote
    return f'/api/sites/{quote(site)}/points/{quote(address, safe="")}'


def raw_request(data, read_timeout=15):
    """Sends bytes as they are and answers the status line (or '' when the server closed)."""
    with socket.create_connection(('127.0.0.1', console.port), timeout=read_timeout) as sock:
        sock.sendall(data)
        answer = b''
        try:
            while b'\r\n' not in answer:
                chunk = sock.recv(4096)
                if not chunk:
                    break
                answer += chunk
        except socket.timeout:
            return 'timeout'
        return answer.split(b'\r\n')[0].decode()


class Api(unittest.TestCase):
    def setUp(self):
        self.admin = admin

    def test_reading_endpoints(self):
        status, sites, _ = self.admin.get('/api/sites')
        self.assertEqual(status, 200)
        plant = sites[0]
        self.assertEqual((plant['name'], plant['interface'], plant['state']), ('Plant', 'LON1', 'online'))
        self.assertGreater(plant['points'], 50)
        self.assertEqual(plant['withValues'] + plant['failed'] + plant['disabled'], plant['points'])
        self.assertTrue(wait_for(lambda: self.admin.get('/api/sites/plant')[1]['status'], 30, 0.5))
        status, site, _ = self.admin.get('/api/sites/plant')   # any letter case, as the driver
        self.assertIn('Site: Plant', site['status'])
        self.assertRegex(site['siteTime'], r'\d')
        # The driver's own poll figures come with the status.
        self.assertTrue(wait_for(lambda: self.admin.get('/api/sites/Plant')[1].get('poll', {}).get('cycleSeconds', 0) > 0,
                                 60, 0.5))
        self.assertEqual(self.admin.get('/api/sites/Plant')[1]['poll']['mode'], 'one fetch per tick')

        status, tree, _ = self.admin.get('/api/sites/Plant/devices')
        self.assertEqual(status, 200)
        room = [d for d in tree['devices'] if d['device'] == '0:1:10'][0]
        names = [p['name'] for v in room['variables'] for p in v['points']]
        self.assertIn('nvoSpaceTemp', names)
        self.assertIn('nviSetpoint', names)

        status, every, _ = self.admin.get('/api/points')
        self.assertEqual((every['total'], every['offset'], len(every['points'])), (plant['points'], 0, plant['points']))
        status, rest, _ = self.admin.get('/api/points?offset=200')
        self.assertEqual([p['address'] for p in rest['points']], [p['address'] for p in every['points'][200:]])
        status, points, _ = self.admin.get('/api/points?site=Plant&q=nviSetpoint')
        self.assertEqual([p['address'] for p in points['points']], [SETPOINT])
        setpoint = points['points'][0]
        self.assertEqual((setpoint['units'], setpoint['kind'], setpoint['writable']), ('°C', 'Analog', True))
        self.assertEqual((setpoint['min'], setpoint['max']), (-327.68, 327.67))

        status, point, _ = self.admin.get(point_path(SPACE_TEMP))
        self.assertEqual(status, 200)
        self.assertIn('value', point)
        self.assertFalse(point['writable'])

        status, history, _ = self.admin.get(point_path(SPACE_TEMP) + '/history')
        self.assertEqual(status, 200)
        self.assertGreaterEqual(len(history['samples']), 1)
        status, csv, headers = self.admin.get(point_path(SPACE_TEMP) + '/history?format=csv')
        self.assertEqual(status, 200)
        self.assertEqual(headers['Content-Type'], 'text/csv; charset=utf-8')
        self.assertTrue(csv.startswith('time,value\r\n'))
        self.assertIn('attachment', headers['Content-Disposition'])
        # The same samples go to the site's CSV file of the day.
        day = time.strftime('%Y-%m-%d', time.gmtime())
        with open(os.path.join(console.path('trends'), f'Plant-{day}.csv')) as f:
            lines = f.read().splitlines()
        self.assertEqual(lines[0], 'time,address,value')
        self.assertTrue(any(line.split(',')[1] == SPACE_TEMP for line in lines[1:]))

        status, diagnostics, _ = self.admin.get('/api/diagnostics')
        self.assertEqual(status, 200)
        self.assertEqual(diagnostics['sites'][0]['site'], 'Plant')
        self.assertTrue(diagnostics['sites'][0]['devices'])
        self.assertTrue(any('discovery found' in e['text'] for e in diagnostics['events']))

    def test_errors_mean_what_they_say(self):
        cases = [
            ('GET', '/api/sites/Nowhere', None, 404, 'No site "Nowhere"'),
            ('GET', '/api/sites/Plant/points/0:9:9:9:1:0:0:0', None, 404, 'has no point'),
            ('GET', '/api/nothing', None, 404, 'No such resource'),
            ('DELETE', '/api/sites', None, 405, 'Use GET'),
            ('GET', '/api/login', None, 405, 'Use POST'),
            ('GET', point_path(SPACE_TEMP) + '/history?from=x', None, 400, 'milliseconds'),
            ('GET', point_path(SPACE_TEMP) + '/history?format=xml', None, 400, 'json or csv'),
            ('GET', '/api/points?site=Nowhere', None, 404, 'No site'),
            ('GET', '/api/points?offset=-1', None, 400, 'offset is a whole number'),
            ('POST', point_path(SETPOINT) + '/write', {'value': 'warm'}, 422, '"warm" is not a number.'),
            ('POST', point_path(SETPOINT) + '/write', {'value': 400}, 422, '400 is out of range for this point: -327.68 to 327.67 °C.'),
            ('POST', point_path(SPACE_TEMP) + '/write', {'value': 20}, 403, 'read-only'),
        ]
        for method, path, body, status, message in cases:
            with self.subTest(path=path, method=method):
                got, answer, _ = self.admin.request(method, path, body)
                self.assertEqual(got, status, answer)
                self.assertIn(message, answer['error'])
        got, answer, _ = self.admin.post(point_path(SETPOINT) + '/write', raw=b'value=20', content_type='text/plain')
        self.assertEqual((got, answer['error']), (415, 'Send the body as application/json.'))
        got, answer, _ = self.admin.post(point_path(SETPOINT) + '/write', raw=b'{"value":', content_type='application/json')
        self.assertEqual(got, 400)

    def test_write_reaches_the_device(self):
        status, answer, _ = self.admin.post(point_path(SETPOINT) + '/write', {'value': '23.25'})
        self.assertEqual((status, answer['outcome']), (200, 'done'), answer)
        self.assertEqual(console.lonctl('read', '--site', 'Plant', SETPOINT), '23.2500 °C')
        self.assertTrue(wait_for(lambda: self.admin.get(point_path(SETPOINT))[1].get('value', '').startswith('23.25'),
                                 harness.VALUE_WAIT, 0.3))

    def test_logins_roles_and_csrf(self):
        anonymous = Client(console.url)
        for path in ('/api/sites', '/api/points', '/api/session', point_path(SETPOINT), '/api/diagnostics'):
            with self.subTest(path=path):
                self.assertEqual(anonymous.get(path)[0], 401)
        self.assertEqual(anonymous.post(point_path(SETPOINT) + '/write', {'value': 20})[0], 401)
        self.assertEqual(anonymous.login('admin', 'wrong')[0], 401)
        self.assertEqual(anonymous.login('nobody', 'correct horse')[0], 401)
        self.assertEqual(anonymous.post('/api/login', {'user': 'admin'})[0], 400)

        viewer = Client(console.url)
        status, session = viewer.login('viewer', 'just looking')
        self.assertEqual((status, session['role']), (200, 'viewer'))
        self.assertEqual(viewer.get('/api/sites')[0], 200)
        status, answer, _ = viewer.post(point_path(SETPOINT) + '/write', {'value': 20})
        self.assertEqual((status, answer['error']), (403, 'User viewer may only read.'))
        self.assertEqual(viewer.post('/api/sites/Plant/discovery')[0], 403)

        # The cookie is HttpOnly and SameSite=Strict; without the CSRF token nothing changes.
        status, _, headers = Client(console.url).post('/api/login', {'user': 'admin', 'password': 'correct horse'})
        cookie = headers['Set-Cookie']
        self.assertIn('HttpOnly', cookie)
        self.assertIn('SameSite=Strict', cookie)
        forged = Client(console.url)
        forged.jar = self.admin.jar
        forged.opener = self.admin.opener
        for token in ('', 'not-the-token'):
            with self.subTest(token=token):
                status, answer, _ = forged.post(point_path(SETPOINT) + '/write', {'value': 20}, headers={'X-CSRF-Token': token} if token else None)
                self.assertEqual((status, answer['error']), (403, "The request lacks the session's CSRF token (X-CSRF-Token)."))

        # After logout the session is gone.
        session = Client(console.url)
        session.login('viewer', 'just looking')
        self.assertEqual(session.post('/api/logout')[0], 200)
        self.assertEqual(session.get('/api/sites')[0], 401)

    def test_discovery_from_the_api(self):
        status, answer, _ = self.admin.post('/api/sites/Plant/discovery')
        self.assertEqual((status, answer['running']), (202, True))
        self.assertTrue(wait_for(lambda: not self.admin.get('/api/sites/Plant/discovery')[1]['running'], 120, 0.5))
        self.assertTrue(wait_for(lambda: self.admin.get('/api/sites/Plant')[1]['online'], 30, 0.3))

    def test_static_files_only(self):
        status, page, headers = self.admin.get('/')
        self.assertEqual(status, 200)
        self.assertIn('<title>LonWorks console</title>', page)
        self.assertIn("default-src 'self'", headers['Content-Security-Policy'])
        status, script, _ = self.admin.get('/vendor/chart.js')
        self.assertEqual(status, 200)
        self.assertIn('Chart', script[:2000])
        for path in ('/../../../../etc/passwd', '/%2e%2e/%2e%2e/etc/passwd', '/..%2f..%2fetc%2fpasswd',
                     '/vendor/../../../etc/passwd', '/app.js/../../etc/passwd', '//etc/passwd', '/.hidden.js',
                     '/web.qrc', '/%00index.html'):
            with self.subTest(path=path):
                answer = raw_request(f'GET {path} HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n'.encode())
                self.assertEqual(answer, 'HTTP/1.1 404 Not Found')
        self.assertEqual(self.admin.post('/index.html', {})[0], 405)

    def test_oversized_and_malformed_requests(self):
        cases = [
            (b'GET / HTTP/1.1\r\nX-Big: ' + b'a' * 20000 + b'\r\n\r\n', '431'),
            (b'GET / HTTP/1.1\r\n' + b'X-A: b\r\n' * 150 + b'\r\n', '431'),
            (b'GET /' + b'a' * 9000 + b' HTTP/1.1\r\n\r\n', '414'),
            (b'POST /api/login HTTP/1.1\r\nContent-Type: application/json\r\nContent-Length: 10000000\r\n\r\n', '413'),
            (b'POST /api/login HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n', '411'),
            (b'\x16\x03\x01\x00\xa5\x01\x00\x00\xa1\x03\x03\r\n\r\n', '400'),
        ]
        for data, status in cases:
            with self.subTest(status=status):
                self.assertTrue(raw_request(data).startswith(f'HTTP/1.1 {status} '))
        # A body larger than the limit sent whole: refused before it is read.
        status, _, _ = self.admin.post('/api/login', raw=b'{"user":"' + b'x' * 200000 + b'"}')
        self.assertEqual(status, 413)

    def test_slow_client_is_dropped(self):
        # Half a request, then nothing: answered 408 and closed within the request time limit,
        # while another client is served all along.
        start = time.monotonic()
        result = {}
        thread = threading.Thread(target=lambda: result.setdefault('line', raw_request(b'GET /api/sites HTTP/1.1\r\nHost: x\r\n', 30)))
        thread.start()
        while thread.is_alive():
            self.assertEqual(self.admin.get('/api/session')[0], 200)
            time.sleep(0.5)
        self.assertEqual(result['line'], 'HTTP/1.1 408 Request Timeout')
        self.assertLess(time.monotonic() - start, 25)

    def test_live_feed(self):
        # Without a session, or from another origin, the upgrade is refused.
        self.assertEqual(WebSocket.status_of(console.port), 401)
        self.assertEqual(WebSocket.status_of(console.port, cookie=self.admin.cookie(), origin='http://evil.example'), 403)
        live = WebSocket(console.port, cookie=self.admin.cookie())
        self.assertEqual(live.status, 101)
        self.assertEqual(live.read_json()['type'], 'hello')
        # A change at the device arrives as a values message.
        console.control_lines('set RoomController 0 0A28')   # nvoSpaceTemp 26.00 °C
        deadline = time.monotonic() + harness.VALUE_WAIT
        seen = None
        while time.monotonic() < deadline and seen is None:
            message = live.read_json()
            self.assertIsNotNone(message)
            if message['type'] == 'values':
                for point in message['points']:
                    if point['address'] == SPACE_TEMP and point.get('value', '').startswith('26'):
                        seen = point
                self.assertLessEqual(message['since'], int(time.time() * 1000))
        self.assertIsNotNone(seen)
        # A message larger than the limit closes the feed.
        live.send_text('x' * 5000)
        while True:
            frame = live.read_frame()
            if frame is None or frame[0] == 8:
                break
        live.close()

    def test_two_hundred_live_pages(self):
        pages = [WebSocket(console.port, cookie=self.admin.cookie(), timeout=30) for _ in range(200)]
        try:
            self.assertEqual([p.status for p in pages], [101] * 200)
            for page in pages:
                self.assertEqual(page.read_json()['type'], 'hello')
            status, diagnostics, _ = self.admin.get('/api/diagnostics')
            self.assertGreaterEqual(diagnostics['liveClients'], 200)
            # A write's outcome reaches every page; the driver and lonctl carry on meanwhile.
            status, answer, _ = self.admin.post(point_path(SETPOINT) + '/write', {'value': 21})
            self.assertEqual(status, 200, answer)
            for page in pages:
                while True:
                    message = page.read_json()
                    self.assertIsNotNone(message)
                    if message['type'] == 'write':
                        self.assertEqual((message['address'], message['outcome']), (SETPOINT, 'done'))
                        break
            self.assertEqual(console.lonctl('read', '--site', 'Other', SETPOINT), '21.0000 °C')
        finally:
            for page in pages:
                page.close()
        # Closed pages give their connections back: more pages than the console has
        # connections, one after the other, are all served.
        for _ in range(600):
            page = WebSocket(console.port, cookie=self.admin.cookie())
            self.assertEqual(page.status, 101)
            page.close()

    def test_logins_are_rate_limited(self):
        # Each try costs a key derivation: more than ten in ten seconds are turned away.
        other = Client(console.url)
        statuses = [other.login('admin', f'guess {i}')[0] for i in range(14)]
        self.assertIn(429, statuses)
        self.assertEqual(statuses.count(401) + statuses.count(429), 14)
        time.sleep(10.5)


class Exposure(unittest.TestCase):
    """TLS, and the refusal to listen beyond the loopback without it."""

    def run_web(self, config, *extra):
        path = console.path('exposed.json')
        with open(path, 'w') as f:
            json.dump(dict({'sites': [{'description': 'Plant'}]}, **config), f)
        return subprocess.run([console.program('lonworks-web'), '--config', path, '--check', *extra],
                              capture_output=True, text=True, env=console.env, timeout=60)

    def test_beyond_the_loopback(self):
        cert, key = console.path('cert.pem'), console.path('key.pem')
        subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-subj', '/CN=127.0.0.1',
                        '-days', '2', '-keyout', key, '-out', cert], check=True, capture_output=True)
        cases = [
            ({}, (), 64, 'reaches beyond this machine'),
            ({'users': console.users}, (), 64, 'reaches beyond this machine'),
            ({'tls': {'certificate': cert, 'key': key}}, (), 64, 'reaches beyond this machine'),
            ({}, ('--insecure',), 0, 'Configuration is valid.'),
            ({'tls': {'certificate': cert, 'key': key}, 'users': console.users}, (), 0, 'Listening on https://0.0.0.0:'),
        ]
        for config, extra, status, text in cases:
            with self.subTest(config=sorted(config), extra=extra):
                result = self.run_web(dict({'listen': {'address': '0.0.0.0', 'port': 0}}, **config), *extra)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertIn(text, result.stdout + result.stderr)

        # Served over TLS: the page, a login with a Secure cookie, the API; plain HTTP is not answered.
        secure = Console(driver=False, config={'tls': {'certificate': cert, 'key': key}})
        try:
            self.assertTrue(secure.url.startswith('https://127.0.0.1:'))
            context = ssl.create_default_context(cafile=cert)
            context.check_hostname = False
            client = Client(secure.url, context)
            status, _, headers = client.post('/api/login', {'user': 'admin', 'password': 'correct horse'})
            self.assertEqual(status, 200)
            self.assertIn('; Secure', headers['Set-Cookie'])
            self.assertEqual(client.get('/api/sites')[0], 200)
            self.assertIn('<title>LonWorks console</title>', client.get('/')[1])
            with socket.create_connection(('127.0.0.1', secure.port), timeout=15) as plain:
                plain.sendall(b'GET / HTTP/1.1\r\nHost: x\r\n\r\n')
                try:
                    answer = plain.recv(4096)
                except (socket.timeout, ConnectionResetError):
                    answer = b''
                self.assertFalse(answer.startswith(b'HTTP/1.1 200'))
        finally:
            secure.stop()


if __name__ == '__main__':
    harness.main()
