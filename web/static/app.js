// The console's page: login, the live feed, and the views behind the navigation.
import { get, post, setCsrf, ApiError } from './api.js';
import { el, clear } from './dom.js';
import { PointsView } from './points.js';
import { SitesView, DevicesView, DiagnosticsView } from './views.js';
import { TrendsView } from './trends.js';

export const state = {
  session: null,
  sites: new Map(),
  points: [],
  byKey: new Map(),
  // Milliseconds from the poll's reading (at the latest) to the value on screen, for the
  // benchmark: the page measures them itself.
  latencies: [],
};
window.lwState = state;

const key = (site, address) => `${site}\n${address}`;
export const pointOf = (site, address) => state.byKey.get(key(site, address));
export const canWrite = () => state.session && state.session.role === 'admin';

const views = {
  sites: new SitesView(), devices: new DevicesView(), points: new PointsView(),
  trends: new TrendsView(), diagnostics: new DiagnosticsView(),
};
let current = null;
let socket = null;

function setPoints(site, points) {
  state.points = state.points.filter((p) => site !== undefined && p.site !== site).concat(points);
  state.byKey = new Map(state.points.map((p) => [key(p.site, p.address), p]));
}

export async function loadPoints(site) {
  // In pages: one answer holds at most 50,000 points.
  const points = [];
  for (;;) {
    const query = new URLSearchParams({ offset: points.length });
    if (site !== undefined) query.set('site', site);
    const data = await get(`/api/points?${query}`);
    points.push(...data.points);
    if (!data.points.length || points.length >= data.total) break;
  }
  setPoints(site, points);
  if (current && current.onPoints) current.onPoints();
}

async function loadSites() {
  const sites = await get('/api/sites');
  state.sites = new Map(sites.map((s) => [s.name, s]));
}

function onMessage(message) {
  if (message.type === 'values') {
    const changed = [];
    for (const change of message.points) {
      const point = pointOf(message.site, change.address);
      if (!point) continue;
      Object.assign(point, change);
      point.failed = false;
      changed.push(point);
    }
    if (current && current.onValues) current.onValues(changed);
    requestAnimationFrame(() => {
      if (message.since) {
        state.latencies.push(Date.now() - message.since);
        if (state.latencies.length > 100000) state.latencies.splice(0, 50000);
      }
    });
  } else if (message.type === 'site') {
    state.sites.set(message.site.name, message.site);
    if (current && current.onSite) current.onSite(message.site);
  } else if (message.type === 'points') {
    loadPoints(message.site).catch(() => {});
  } else if (message.type === 'write') {
    const point = pointOf(message.site, message.address);
    if (point) point.lastWrite = message;
    if (current && current.onValues && point) current.onValues([point]);
  }
}

function connectLive() {
  const scheme = location.protocol === 'https:' ? 'wss' : 'ws';
  socket = new WebSocket(`${scheme}://${location.host}/api/live`);
  const mark = document.getElementById('live');
  socket.onopen = () => { mark.classList.add('on'); mark.title = 'Live feed connected'; };
  socket.onmessage = (event) => onMessage(JSON.parse(event.data));
  socket.onclose = () => {
    mark.classList.remove('on');
    mark.title = 'Live feed lost; connecting again';
    socket = null;
    if (state.session) setTimeout(() => { if (state.session && !socket) { connectLive(); loadPoints().catch(() => {}); } }, 2000);
  };
}

function show(name) {
  const [viewName, query] = (location.hash.slice(1) || 'sites').split('?');
  const view = views[name || viewName] || views.sites;
  for (const link of document.querySelectorAll('#nav a'))
    link.classList.toggle('active', link.dataset.view === (name || viewName));
  if (current && current.unmount) current.unmount();
  current = view;
  view.mount(clear(document.getElementById('view')), new URLSearchParams(query || ''));
}

function showWho() {
  const who = clear(document.getElementById('who'));
  const session = state.session;
  if (!session.logins) { who.append('Read-only (no users configured)'); return; }
  who.append(el('span', { id: 'who-name', text: `${session.user} (${session.role})` }),
             el('button', { id: 'logout', onclick: logout, text: 'Log out' }));
}

async function start() {
  document.getElementById('login').hidden = true;
  document.getElementById('nav').hidden = false;
  setCsrf(state.session.csrf);
  showWho();
  await Promise.all([loadSites(), loadPoints()]);
  connectLive();
  show();
  // For the benchmark: when the first view stood with every point loaded (ms since navigation).
  requestAnimationFrame(() => { window.lwTimings = { shown: performance.now(), points: state.points.length }; });
}

function askLogin() {
  state.session = null;
  document.getElementById('nav').hidden = true;
  clear(document.getElementById('who'));
  clear(document.getElementById('view'));
  document.getElementById('login').hidden = false;
  document.getElementById('login-user').focus();
}

async function logout() {
  try { await post('/api/logout'); } catch (e) { /* the session is gone either way */ }
  if (socket) socket.close();
  askLogin();
}

document.getElementById('login-form').addEventListener('submit', async (event) => {
  event.preventDefault();
  const error = document.getElementById('login-error');
  error.textContent = '';
  try {
    state.session = await post('/api/login', {
      user: document.getElementById('login-user').value,
      password: document.getElementById('login-password').value,
    });
    document.getElementById('login-password').value = '';
    await start();
  } catch (e) {
    error.textContent = e.message;
  }
});

window.addEventListener('hashchange', () => { if (state.session) show(); });

(async () => {
  try {
    state.session = await get('/api/session');
    await start();
  } catch (e) {
    if (e instanceof ApiError && e.status === 401) askLogin();
    else document.getElementById('view').append(el('p', { class: 'error', text: `The console does not answer: ${e.message}` }));
  }
})();
