// The sites, devices and diagnostics views.
import { state, canWrite } from './app.js';
import { get, post, sitePath } from './api.js';
import { el, clear, timeText, seconds } from './dom.js';

function stateBadge(site) {
  return el('span', { class: `badge ${site.online ? 'online' : site.state === 'offline' ? 'offline' : ''}`, text: site.state });
}

export class SitesView {
  mount(root) {
    this.root = root;
    this.draw();
  }

  onSite() { this.draw(); }

  draw() {
    const cards = [...state.sites.values()].map((site) => el('div', { class: 'card site', 'data-site': site.name },
      el('h2', {}, site.name, ' ', stateBadge(site)),
      el('div', { class: 'muted' }, `Interface ${site.interface}`, site.problem ? el('div', { class: 'error', text: site.problem }) : null),
      el('div', { class: 'counts' },
        el('div', {}, el('b', { text: site.points }), 'points'),
        el('div', {}, el('b', { text: site.withValues }), 'with values'),
        el('div', {}, el('b', { text: site.failed }), 'failed'),
        el('div', {}, el('b', { text: site.disabled }), 'disabled')),
      el('div', {}, 'Poll cycle: ', site.points ? (site.firstCycleMs >= 0 ? `first cycle took ${seconds(site.firstCycleMs)}`
        : `first cycle under way, ${site.withValues} of ${site.points} read`) : '—',
        site.poll && site.poll.cycleSeconds > 0 ? `; last ${site.poll.cycleSeconds.toFixed(1)} s` : ''),
      site.poll ? el('div', { class: 'muted', text: `Poller: ${site.poll.mode}, ${site.poll.fetchesPerSecond.toFixed(1)} fetches/s`
        + `${site.poll.stoppedPoints ? `, ${site.poll.stoppedPoints} points stopped` : ''}` }) : null,
      el('div', {}, `Site time: ${site.siteTime || '—'}`, site.siteTimeRead ? el('span', { class: 'muted', text: ` (read ${timeText(site.siteTimeRead)})` }) : null),
      site.discovery.running ? el('div', {}, `Discovery: ${site.discovery.progress || 'waiting'}`) : null,
      el('pre', { class: 'status', text: site.status.length ? site.status.join('\n') : 'No SITESTATUS yet.' })));
    this.root.replaceChildren(el('h1', { text: 'Sites' }), el('div', { class: 'sites' }, cards));
  }
}

export class DevicesView {
  mount(root, query) {
    this.root = root;
    this.site = query.get('site') || this.site || [...state.sites.keys()][0];
    this.filter = this.filter || '';
    this.load();
  }

  async load() {
    try {
      this.data = await get(`${sitePath(this.site)}/devices`);
    } catch (e) {
      this.data = { devices: [], error: e.message };
    }
    this.draw();
  }

  onSite(site) {
    if (site.name !== this.site || !this.progress) return;
    const was = this.running;
    this.running = site.discovery.running;
    this.progress.textContent = site.discovery.running ? `Discovery under way: ${site.discovery.progress || 'waiting for the site'}`
      : site.discovery.finished ? `Last discovery ${timeText(site.discovery.finished)}` : '';
    if (was && !this.running) this.load();
  }

  onPoints() { if (!this.running) this.load(); }

  draw() {
    const sites = el('select', { id: 'devices-site', onchange: (e) => { this.site = e.target.value; this.load(); } },
      [...state.sites.keys()].map((name) => el('option', { value: name, selected: name === this.site, text: name })));
    const search = el('input', { type: 'search', id: 'devices-filter', placeholder: 'Search devices, variables, points', value: this.filter,
      oninput: (e) => { this.filter = e.target.value; this.drawTree(); } });
    this.progress = el('span', { class: 'muted', id: 'discovery-progress' });
    const discover = canWrite() ? el('button', { id: 'discover', text: 'Discover again', onclick: async () => {
      try { await post(`${sitePath(this.site)}/discovery`); this.running = true; } catch (e) { this.progress.textContent = e.message; }
    } }) : null;
    this.tree = el('div', { class: 'tree card', id: 'device-tree' });
    this.root.replaceChildren(el('h1', { text: 'Devices' }), el('div', { class: 'toolbar' }, sites, search, discover, this.progress), this.tree);
    const site = state.sites.get(this.site);
    if (site) { this.running = false; this.onSite(site); }
    this.drawTree();
  }

  drawTree() {
    const text = this.filter.trim().toLowerCase();
    const match = (...texts) => !text || texts.some((t) => String(t).toLowerCase().includes(text));
    clear(this.tree);
    if (this.data.error) { this.tree.append(el('p', { class: 'error', text: this.data.error })); return; }
    let shown = 0;
    for (const device of this.data.devices) {
      const variables = device.variables.map((variable) => {
        const points = variable.points.filter((p) => match(device.name, variable.name, p.name, p.address));
        if (!points.length) return null;
        return el('details', { open: text !== '' },
          el('summary', {}, variable.name, el('span', { class: 'muted', text: `  ${variable.variable}` })),
          points.map((p) => el('div', { class: 'point' }, p.name, ' ', el('span', { class: 'muted', text: `${p.kind}${p.units ? `, ${p.units}` : ''}${p.writable ? ', writable' : ''}${p.min !== undefined ? `, ${p.min} to ${p.max}` : ''}` }), ' ', el('code', { text: p.address }))));
      }).filter(Boolean);
      if (!variables.length) continue;
      shown++;
      this.tree.append(el('details', { open: text !== '' || this.data.devices.length === 1, class: 'device', 'data-device': device.device },
        el('summary', {}, el('b', { text: device.name }), el('span', { class: 'muted', text: `  ${device.variables.length} variables` })), variables));
    }
    if (!shown) this.tree.append(el('p', { class: 'muted', text: this.data.devices.length ? 'Nothing matches.' : 'No devices discovered yet.' }));
  }
}

export class DiagnosticsView {
  mount(root) {
    this.root = root;
    this.load();
    this.timer = setInterval(() => this.load(), 5000);
  }

  unmount() { clearInterval(this.timer); }

  async load() {
    let data;
    try { data = await get('/api/diagnostics'); } catch (e) { this.root.replaceChildren(el('p', { class: 'error', text: e.message })); return; }
    const sites = data.sites.map((site) => el('div', { class: 'card' },
      el('h2', {}, site.site, ' ', el('span', { class: `badge ${site.state === 'online' ? 'online' : 'offline'}`, text: site.state })),
      site.problem ? el('p', { class: 'error', text: site.problem }) : null,
      el('table', { class: 'list devices' },
        el('tr', {}, el('th', { text: 'Device' }), el('th', { text: 'Points' }), el('th', { text: 'Failed' }), el('th', { text: 'Disabled' })),
        site.devices.filter((d) => d.failed || d.disabled).concat(site.devices.filter((d) => !d.failed && !d.disabled))
          .map((d) => el('tr', {}, el('td', { text: d.device }), el('td', { text: d.points }),
            el('td', {}, d.failed ? el('span', { class: 'badge failed', text: d.failed }) : '0'),
            el('td', {}, d.disabled ? el('span', { class: 'badge disabled', text: d.disabled }) : '0')))),
      site.failedPoints.length ? el('p', {}, el('b', { text: 'Failed points: ' }), site.failedPoints.slice(0, 50).map((p) => `${p.name} (${p.address})`).join(', ')) : null,
      site.disabledPoints.length ? el('p', {}, el('b', { text: 'Disabled points: ' }), site.disabledPoints.map((p) => `${p.name} (${p.address})`).join(', ')) : null,
      el('pre', { class: 'status', text: site.interface.length ? site.interface.join('\n') : 'The interface has not reported yet.' })));
    const events = el('table', { class: 'list events', id: 'events' },
      el('tr', {}, el('th', { text: 'Time' }), el('th', { text: 'Site' }), el('th', { text: 'Point' }), el('th', { text: 'What happened' })),
      data.events.map((e) => el('tr', {}, el('td', { text: timeText(e.time) }), el('td', { text: e.site }), el('td', { text: e.point }), el('td', { text: e.text }))));
    this.root.replaceChildren(el('h1', { text: 'Diagnostics' }), ...sites, el('h2', { text: 'Last events' }),
      data.events.length ? events : el('p', { class: 'muted', text: 'Nothing has happened yet.' }));
  }
}
