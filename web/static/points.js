// The points table: every polled point, live. Only the rows in sight exist in the page, so
// 20,000 points scroll as smoothly as 20.
import { state, canWrite } from './app.js';
import { post, pointPath } from './api.js';
import { el, clear, ageText } from './dom.js';

const COLUMNS = [
  { key: 'site', title: 'Site', wide: true },
  { key: 'name', title: 'Name' },
  { key: 'device', title: 'Device', wide: true },
  { key: 'address', title: 'Address', wide: true },
  { key: 'value', title: 'Value' },
  { key: 'units', title: 'Units' },
  { key: 'changed', title: 'Age', wide: true },
  { key: 'state', title: 'State', wide: true },
  { key: 'actions', title: '' },
];
const ROW = 30;
const FRESH_MS = 3000;

function stateOf(point) {
  if (point.disabled) return 'disabled';
  if (point.failed) return 'failed';
  return point.value === undefined ? 'waiting' : 'ok';
}

export class PointsView {
  constructor() {
    this.sort = { key: 'site', down: false };
    this.filter = '';
    this.onlyProblems = false;
    this.rows = [];
  }

  mount(root, query) {
    this.root = root;
    if (query.get('q') !== null) this.filter = query.get('q');
    const search = el('input', { type: 'search', id: 'points-filter', placeholder: 'Filter by name, address, device or site', value: this.filter,
      oninput: (e) => { this.filter = e.target.value; this.refilter(); } });
    const problems = el('input', { type: 'checkbox', id: 'points-problems', checked: this.onlyProblems,
      onchange: (e) => { this.onlyProblems = e.target.checked; this.refilter(); } });
    this.count = el('span', { class: 'muted', id: 'points-count' });
    const head = el('div', { class: 'head' }, COLUMNS.map((c) => el('span', {
      class: `${c.wide ? 'wide' : ''} ${this.sort.key === c.key ? `sorted${this.sort.down ? ' down' : ''}` : ''}`,
      'data-key': c.key, text: c.title,
      onclick: () => { if (c.key === 'actions') return; this.sort = { key: c.key, down: this.sort.key === c.key && !this.sort.down }; this.remount(); },
    })));
    this.body = el('div', { class: 'body', id: 'points-body', onscroll: () => this.draw() });
    this.spacer = el('div');
    this.body.append(this.spacer);
    root.append(el('h1', { text: 'Points' }),
      el('div', { class: 'toolbar' }, search, el('label', {}, problems, ' only failed or disabled'), this.count),
      el('div', { class: 'grid points' }, head, this.body));
    this.refilter();
    this.ticker = setInterval(() => this.draw(), 1000);
  }

  remount() { this.root.replaceChildren(); clearInterval(this.ticker); this.mount(this.root, new URLSearchParams()); }
  unmount() { clearInterval(this.ticker); }
  onPoints() { this.refilter(); }
  onValues() { if (this.sort.key === 'value' || this.sort.key === 'changed' || this.onlyProblems) this.refilter(); else this.draw(); }

  refilter() {
    const text = this.filter.trim().toLowerCase();
    this.rows = state.points.filter((p) => (!text || p.name.toLowerCase().includes(text) || p.address.includes(text)
      || p.device.includes(text) || p.site.toLowerCase().includes(text))
      && (!this.onlyProblems || p.failed || p.disabled));
    const { key, down } = this.sort;
    const value = (p) => (key === 'state' ? stateOf(p) : p[key] ?? '');
    const numeric = key === 'changed' || (key === 'value' && this.rows.every((p) => p.value === undefined || !isNaN(parseFloat(p.value))));
    this.rows.sort((a, b) => {
      const x = value(a); const y = value(b);
      const order = numeric ? (parseFloat(x) || 0) - (parseFloat(y) || 0) : String(x).localeCompare(String(y), undefined, { numeric: true });
      return down ? -order : order;
    });
    this.count.textContent = `${this.rows.length} of ${state.points.length} points`;
    this.spacer.style.height = `${this.rows.length * ROW}px`;
    this.draw();
  }

  draw() {
    const now = Date.now();
    const first = Math.max(0, Math.floor(this.body.scrollTop / ROW) - 5);
    const last = Math.min(this.rows.length, first + Math.ceil((this.body.clientHeight || 600) / ROW) + 10);
    for (const row of [...this.body.querySelectorAll('.row')]) row.remove();
    for (let i = first; i < last; i++) this.body.append(this.rowOf(this.rows[i], i, now));
  }

  rowOf(point, index, now) {
    const condition = stateOf(point);
    const write = point.lastWrite;
    const actions = el('span', {},
      canWrite() && point.writable ? el('button', { class: 'write', text: 'Write', onclick: () => openWrite(point) }) : null,
      point.kind === 'Analog' || point.kind === 'Digital'
        ? el('a', { href: `#trends?site=${encodeURIComponent(point.site)}&address=${encodeURIComponent(point.address)}`, text: ' Trend' }) : null,
      write ? el('span', { class: `outcome ${write.outcome}`, title: write.error || '', text: ` ${write.outcome}${write.error ? `: ${write.error}` : ''}` }) : null);
    return el('div', {
      class: `row ${condition}${point.changed && now - point.changed < FRESH_MS ? ' fresh' : ''}`,
      style: { top: `${index * ROW}px` }, 'data-address': point.address, 'data-site': point.site,
    },
    el('span', { class: 'wide', text: point.site }),
    el('span', { title: point.name, text: point.name }),
    el('span', { class: 'wide', text: point.device }),
    el('span', { class: 'wide', text: point.address, title: point.address }),
    el('span', { class: 'value', text: point.value ?? '' }),
    el('span', { text: point.units }),
    el('span', { class: 'wide age', text: ageText(point.changed, now) }),
    el('span', { class: 'wide' }, condition === 'ok' || condition === 'waiting' ? condition : el('span', { class: `badge ${condition}`, text: condition })),
    actions);
  }
}

// The write dialog: the value, the type's range, a confirmation, the outcome.
let writing = null;
const $ = (id) => document.getElementById(id);

export function openWrite(point) {
  writing = point;
  $('write-title').textContent = `Write ${point.name}`;
  $('write-current').textContent = `${point.site}, ${point.address}: now ${point.value ?? 'no value yet'} ${point.units}`;
  $('write-range').textContent = point.min !== undefined ? `Range: ${point.min} to ${point.max} ${point.units}`
    : point.kind === 'Digital' ? 'ON or OFF' : '';
  $('write-value').value = point.value && point.kind !== 'Digital' ? parseFloat(point.value) || point.value : (point.value === 'TRUE' ? 'OFF' : 'ON');
  $('write-error').textContent = '';
  $('write-confirm').hidden = true;
  $('write-yes').hidden = true;
  $('write-next').hidden = false;
  $('write-value').disabled = false;
  $('write-dialog').showModal();
}

$('write-cancel').addEventListener('click', () => $('write-dialog').close());
$('write-next').addEventListener('click', () => {
  const value = $('write-value').value.trim();
  $('write-confirm').textContent = `Write ${value} ${writing.units} to ${writing.name} on ${writing.site}?`;
  $('write-confirm').hidden = false;
  $('write-yes').hidden = false;
  $('write-next').hidden = true;
  $('write-value').disabled = true;
});
$('write-yes').addEventListener('click', async () => {
  const point = writing;
  const value = $('write-value').value.trim();
  $('write-yes').disabled = true;
  try {
    const result = await post(`${pointPath(point.site, point.address)}/write`, { value });
    point.lastWrite = result;
    $('write-dialog').close();
  } catch (e) {
    point.lastWrite = { outcome: e.status === 409 ? 'refused' : e.status === 502 ? 'failed' : 'refused', error: e.message };
    $('write-error').textContent = e.message;
    $('write-next').hidden = false;
    $('write-yes').hidden = true;
    $('write-value').disabled = false;
  } finally {
    $('write-yes').disabled = false;
    window.dispatchEvent(new Event('lw-redraw'));
  }
});
window.addEventListener('lw-redraw', () => { const view = document.querySelector('#points-body'); if (view) view.dispatchEvent(new Event('scroll')); });
