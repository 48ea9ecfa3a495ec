// Trends: a point's history as the console keeps it, drawn with Chart.js, zoomed by time
// range, and downloadable as CSV.
import { state, pointOf } from './app.js';
import { get, pointPath } from './api.js';
import { el } from './dom.js';

const RANGES = [['5 min', 5 * 60e3], ['15 min', 15 * 60e3], ['1 h', 3600e3], ['All', 0]];

export class TrendsView {
  mount(root, query) {
    this.root = root;
    this.site = query.get('site') || this.site || [...state.sites.keys()][0];
    this.address = query.get('address') || this.address;
    this.range = this.range ?? RANGES[0][1];
    this.draw();
    this.timer = setInterval(() => this.load(), 5000);
  }

  unmount() { clearInterval(this.timer); if (this.chart) this.chart.destroy(); this.chart = null; }

  draw() {
    const points = state.points.filter((p) => p.site === this.site && (p.kind === 'Analog' || p.kind === 'Digital'));
    if (!points.some((p) => p.address === this.address)) this.address = points.length ? points[0].address : undefined;
    const sites = el('select', { id: 'trend-site', onchange: (e) => { this.site = e.target.value; this.address = undefined; this.unmount(); this.mount(this.root, new URLSearchParams()); } },
      [...state.sites.keys()].map((name) => el('option', { value: name, selected: name === this.site, text: name })));
    const choice = el('select', { id: 'trend-point', onchange: (e) => { this.address = e.target.value; this.load(); } },
      points.map((p) => el('option', { value: p.address, selected: p.address === this.address, text: `${p.name} (${p.device})` })));
    const ranges = RANGES.map(([label, ms]) => el('button', { class: ms === this.range ? 'primary' : '', 'data-range': label, text: label,
      onclick: () => { this.range = ms; this.unmount(); this.mount(this.root, new URLSearchParams()); } }));
    this.csv = el('a', { id: 'trend-csv', text: 'Download CSV' });
    this.note = el('p', { class: 'muted', id: 'trend-note' });
    const canvas = el('canvas', { id: 'trend-chart' });
    this.root.replaceChildren(el('h1', { text: 'Trends' }), el('div', { class: 'toolbar' }, sites, choice, ranges, this.csv),
      el('div', { class: 'card chart-box' }, canvas), this.note);
    this.chart = new window.Chart(canvas, {
      type: 'line',
      data: { datasets: [{ label: '', data: [], stepped: true, borderColor: '#1f5f8b', pointRadius: 2 }] },
      options: {
        animation: false, maintainAspectRatio: false, parsing: false,
        scales: { x: { type: 'linear', ticks: { callback: (v) => new Date(v).toLocaleTimeString() } } },
        plugins: { tooltip: { callbacks: { title: (items) => new Date(items[0].parsed.x).toLocaleString() } } },
      },
    });
    this.load();
  }

  async load() {
    if (!this.address || !this.chart) return;
    const from = this.range ? Date.now() - this.range : 0;
    const path = `${pointPath(this.site, this.address)}/history?from=${from}`;
    this.csv.href = `${path}&format=csv`;
    try {
      const data = await get(path);
      const point = pointOf(this.site, this.address);
      const samples = data.samples.map(([x, y]) => ({ x, y }));
      // The last value holds until now.
      if (samples.length) samples.push({ x: Date.now(), y: samples[samples.length - 1].y });
      if (!this.chart) return;
      this.chart.data.datasets[0].data = samples;
      this.chart.data.datasets[0].label = `${data.name}${data.units ? ` (${data.units})` : ''}`;
      this.chart.options.scales.x.min = this.range ? from : undefined;
      this.chart.options.scales.x.max = Date.now();
      this.chart.update();
      this.note.textContent = `${data.samples.length} samples kept (at most ${data.capacity} per point)${point && point.value !== undefined ? `; now ${point.value} ${point.units}` : ''}`;
    } catch (e) {
      this.note.textContent = e.message;
    }
  }
}
