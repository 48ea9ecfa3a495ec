"""The web console in a real headless Chromium driven by Selenium: log in, LON1's devices
and points, a value the simulator changes showing in the page, a setpoint written from the
page and read back with lonctl, an out-of-range write refused with the reason shown, a trend,
and logged-out and read-only users unable to write (the API says 401/403, the page hides
the controls). Screenshots of every page at 1280x800 and at a phone's width go into
$LW_SCREENSHOT_DIR when set (else the test's temporary folder)."""

import os
import re
import shutil
import tempfile
import time
import unittest

import harness
from harness import Client, Console, wait_for

try:
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
except ImportError:   # the module is skipped then
    pass

SETPOINT = '0:1:10:1:105:0:3:105'
SPACE_TEMP = '0:1:10:0:105:0:3:105'
WIDE = (1280, 800)
PHONE = (390, 844)

console = None
browser = None
profile = None
shots = None


def setUpModule():
    global console, browser, profile, shots
    profile = tempfile.mkdtemp(prefix='lw-chromium-')
    browser = harness.start_chromium(profile, WIDE)
    if browser is None:
        raise unittest.SkipTest('chromium, chromium-driver and python3-selenium are needed (scripts/bootstrap.sh)')
    console = Console()
    admin = Client(console.url)
    admin.login('admin', 'correct horse')
    console.wait_online(admin)
    shots = os.environ.get('LW_SCREENSHOT_DIR') or console.path('screenshots')
    os.makedirs(shots, exist_ok=True)


def tearDownModule():
    if browser:
        browser.quit()
    if profile:
        shutil.rmtree(profile, ignore_errors=True)
    if console:
        console.stop()


def find(css):
    return browser.find_element(By.CSS_SELECTOR, css)


def finds(css):
    return browser.find_elements(By.CSS_SELECTOR, css)


def wait_css(css, seconds=harness.VALUE_WAIT):
    return wait_for(lambda: finds(css), seconds, 0.2)


def texts(css):
    """The texts of the elements the selector finds now (rows are redrawn all the time)."""
    return browser.execute_script('return [...document.querySelectorAll(arguments[0])].map((e) => e.innerText);', css)


def wait_text(css, text, seconds=harness.VALUE_WAIT):
    return wait_for(lambda: any(text in t for t in texts(css)), seconds, 0.2)


def viewport(size, mobile):
    harness.set_viewport(browser, size, mobile)


def shoot(name):
    """The page at 1280x800 and at a phone's width."""
    viewport(PHONE, True)
    browser.execute_script('window.dispatchEvent(new Event("resize"))')
    time.sleep(0.3)
    browser.save_screenshot(os.path.join(shots, f'{name}-phone.png'))
    viewport(WIDE, False)
    browser.execute_script('window.dispatchEvent(new Event("resize"))')
    time.sleep(0.3)
    browser.save_screenshot(os.path.join(shots, f'{name}.png'))


def go(view):
    browser.get(f'{console.url}/#{view}')
    browser.refresh()


def fetch(method, path, body=None):
    """The page's own request with its cookie (and the CSRF token it was given): the status."""
    return browser.execute_async_script('''
        const [method, path, body, done] = arguments;
        const headers = {'Content-Type': 'application/json'};
        if (window.lwState && window.lwState.session) headers['X-CSRF-Token'] = window.lwState.session.csrf;
        fetch(path, {method, headers, body: body === null ? undefined : JSON.stringify(body)})
          .then((r) => done(r.status), () => done(0));''', method, path, body)


def login(user, password):
    find('#login-user').clear()
    find('#login-user').send_keys(user)
    find('#login-password').send_keys(password)
    find('#login-button').click()


def filter_points(text):
    field = wait_css('#points-filter')[0]
    field.send_keys(Keys.CONTROL, 'a')
    field.send_keys(Keys.DELETE)
    if text:
        field.send_keys(text)


def row_of(address):
    rows = finds(f'.row[data-address="{address}"]')
    return rows[0] if rows else None


def click_in_row(address, css):
    """Clicks an element of a row; false when the row was redrawn under the click."""
    try:
        row_of(address).find_element(By.CSS_SELECTOR, css).click()
        return True
    except Exception:   # stale or not there yet
        return False


def value_of(address):
    found = texts(f'.row[data-address="{address}"] .value')
    return found[0] if found else None


class Browser(unittest.TestCase):
    def test_1_login(self):
        browser.get(console.url + '/')
        self.assertTrue(wait_css('#login-form'))
        self.assertTrue(find('#login').is_displayed())
        shoot('login')
        login('admin', 'wrong password')
        self.assertTrue(wait_text('#login-error', 'Wrong user or password.'))
        find('#login-password').clear()
        login('admin', 'correct horse')
        self.assertTrue(wait_text('#who-name', 'admin (admin)'))
        self.assertTrue(find('#nav').is_displayed())

    def test_2_sites(self):
        go('sites')
        self.assertTrue(wait_text('.site[data-site="Plant"] .badge', 'online'))
        self.assertTrue(wait_text('.site[data-site="Plant"] pre.status', 'Site: Plant'))
        self.assertTrue(wait_text('.site[data-site="Plant"]', 'first cycle took'))
        shoot('sites')

    def test_3_devices(self):
        go('devices')
        self.assertTrue(wait_css('#device-tree details.device'))
        devices = [e.get_attribute('data-device') for e in finds('#device-tree details.device')]
        self.assertIn('0:1:10', devices)
        find('#devices-filter').send_keys('Setpoint')
        self.assertTrue(wait_text('#device-tree', 'nviSetpoint'))
        self.assertTrue(wait_text('#device-tree', SETPOINT))
        shoot('devices')

    def test_4_value_change_shows(self):
        go('points')
        filter_points('nvoSpaceTemp')
        self.assertTrue(wait_for(lambda: row_of(SPACE_TEMP), 20, 0.2))
        console.control_lines('set RoomController 0 0A8C')   # 27.00 °C
        self.assertTrue(wait_for(lambda: (value_of(SPACE_TEMP) or '').startswith('27'), harness.VALUE_WAIT, 0.2),
                        value_of(SPACE_TEMP))
        filter_points('')
        # Every point is in the table, a screenful of rows is drawn, each on its own line.
        self.assertTrue(wait_for(lambda: re.fullmatch(r'(\d+) of \1 points', texts('#points-count')[0]), 10, 0.2))
        tops = browser.execute_script('return [...document.querySelectorAll(".grid .row")].map((r) => r.getBoundingClientRect().top);')
        self.assertGreaterEqual(len(tops), 15)
        self.assertEqual(len(set(tops)), len(tops))
        shoot('points')

    def write_from_page(self, value):
        go('points')
        filter_points('nviSetpoint')
        self.assertTrue(wait_for(lambda: row_of(SETPOINT), 20, 0.2))
        self.assertTrue(wait_for(lambda: click_in_row(SETPOINT, 'button.write'), 10, 0.2))
        self.assertTrue(wait_for(lambda: find('#write-dialog').is_displayed(), 10, 0.1))
        self.assertIn('Range: -327.68 to 327.67 °C', find('#write-range').text)
        field = find('#write-value')
        field.clear()
        field.send_keys(value)
        find('#write-next').click()
        self.assertIn(f'Write {value} °C to nviSetpoint on Plant?', find('#write-confirm').text)

    def test_5_write_setpoint(self):
        self.write_from_page('24.5')
        shoot('write')
        find('#write-yes').click()
        self.assertTrue(wait_for(lambda: not find('#write-dialog').is_displayed(), harness.VALUE_WAIT, 0.2))
        self.assertTrue(wait_text(f'.row[data-address="{SETPOINT}"] .outcome', 'done'))
        self.assertEqual(console.lonctl('read', '--site', 'Plant', SETPOINT), '24.5000 °C')

    def test_6_out_of_range_refused(self):
        self.write_from_page('500')
        find('#write-yes').click()
        self.assertTrue(wait_text('#write-error', '500 is out of range for this point: -327.68 to 327.67 °C.'))
        shoot('write-refused')
        find('#write-cancel').click()
        self.assertTrue(wait_text(f'.row[data-address="{SETPOINT}"] .outcome', 'out of range'))
        self.assertEqual(console.lonctl('read', '--site', 'Plant', SETPOINT), '24.5000 °C')

    def test_7_trend(self):
        go(f'trends?site=Plant&address={SPACE_TEMP}')
        self.assertTrue(wait_text('#trend-note', 'samples kept'))
        count = wait_for(lambda: browser.execute_script(
            'const c = Chart.getChart("trend-chart"); return c ? c.data.datasets[0].data.length : 0;') >= 3, 20, 0.5)
        self.assertTrue(count)
        self.assertIn('format=csv', find('#trend-csv').get_attribute('href'))
        shoot('trends')

    def test_8_diagnostics(self):
        go('diagnostics')
        self.assertTrue(wait_css('table.devices'))
        self.assertTrue(wait_text('#events', 'discovery found'))
        shoot('diagnostics')

    def test_9_read_only_and_logged_out(self):
        go('points')
        self.assertTrue(wait_css('button.write'))
        self.assertEqual(fetch('POST', '/api/logout'), 200)
        browser.get(console.url + '/')
        self.assertTrue(wait_css('#login-form'))
        self.assertEqual(fetch('POST', f'/api/sites/Plant/points/{SETPOINT}/write', {'value': 20}), 401)
        login('viewer', 'just looking')
        self.assertTrue(wait_text('#who-name', 'viewer (viewer)'))
        go('points')
        filter_points('nviSetpoint')
        self.assertTrue(wait_for(lambda: row_of(SETPOINT), 20, 0.2))
        self.assertEqual(finds('button.write'), [])
        go('devices')
        self.assertTrue(wait_css('#device-tree'))
        self.assertEqual(finds('#discover'), [])
        self.assertEqual(fetch('POST', f'/api/sites/Plant/points/{SETPOINT}/write', {'value': 20}), 403)
        self.assertEqual(console.lonctl('read', '--site', 'Plant', SETPOINT), '24.5000 °C')


if __name__ == '__main__':
    harness.main()
