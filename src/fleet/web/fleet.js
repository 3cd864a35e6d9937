// The dashboard of vanta-fleet serve. Every value from the service goes into
// the page as a text node or an attribute value, never as markup: a device
// name or an event text cannot change the page.
'use strict';

const STATES = {
  up: 'in Betrieb',
  down: 'gestört',
  paused: 'pausiert',
  never: 'nie gelesen',
};
const RESULTS = { ok: 'erfolgreich', failed: 'fehlgeschlagen', interrupted: 'abgebrochen', lost: 'verloren' };

// An element with attributes and children (strings become text nodes).
function el(tag, attrs, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs || {})) {
    if (v !== null && v !== undefined) e.setAttribute(k, String(v));
  }
  for (const c of children) {
    if (c === null || c === undefined) continue;
    e.append(c instanceof Node ? c : document.createTextNode(String(c)));
  }
  return e;
}

function clear(node) {
  while (node.firstChild) node.removeChild(node.firstChild);
}

function showMessage(text) {
  const m = document.getElementById('message');
  if (!m) return;
  m.textContent = text || '';
  m.hidden = !text;
}

async function api(path) {
  const res = await fetch(path, { headers: { Accept: 'application/json' }, cache: 'no-store' });
  let doc = null;
  try {
    doc = await res.json();
  } catch (e) {
    throw new Error('HTTP ' + res.status);
  }
  if (!res.ok || doc.error) throw new Error(doc && doc.error ? doc.error.message : 'HTTP ' + res.status);
  return doc;
}

const pad = (n) => String(n).padStart(2, '0');

// Local time of this browser, as the project's windows show times; the
// device table leaves out the seconds to stay narrow.
function fmtTime(iso, seconds = true) {
  if (!iso) return '–';
  const d = new Date(iso);
  if (isNaN(d)) return iso;
  const time = `${pad(d.getHours())}:${pad(d.getMinutes())}${seconds ? ':' + pad(d.getSeconds()) : ''}`;
  return `${pad(d.getDate())}.${pad(d.getMonth() + 1)}.${d.getFullYear()} ${time}`;
}

function fmtAge(seconds) {
  if (seconds === null || seconds === undefined) return '–';
  const s = Math.max(0, Math.round(seconds));
  if (s < 90) return `vor ${s} s`;
  if (s < 90 * 60) return `vor ${Math.round(s / 60)} min`;
  if (s < 36 * 3600) return `vor ${Math.round(s / 3600)} h`;
  return `vor ${Math.round(s / 86400)} d`;
}

function fmtDuration(seconds) {
  if (seconds === null || seconds === undefined) return '–';
  if (seconds < 60) return `${seconds.toLocaleString('de-DE', { maximumFractionDigits: 1 })} s`;
  const whole = Math.round(seconds);
  const join = (big, bigUnit, small, smallUnit) => (small ? `${big} ${bigUnit} ${small} ${smallUnit}` : `${big} ${bigUnit}`);
  if (whole < 3600) return join(Math.floor(whole / 60), 'min', whole % 60, 's');
  if (whole < 86400) return join(Math.floor(whole / 3600), 'h', Math.round((whole % 3600) / 60), 'min');
  return join(Math.floor(whole / 86400), 'd', Math.round((whole % 86400) / 3600), 'h');
}

function fmtBytes(n) {
  if (n === null || n === undefined) return '–';
  if (n < 1024) return `${n} B`;
  const units = ['KiB', 'MiB', 'GiB', 'TiB'];
  let v = n / 1024;
  let i = 0;
  while (v >= 1024 && i < units.length - 1) {
    v /= 1024;
    i++;
  }
  return `${v.toLocaleString('de-DE', { maximumFractionDigits: 1 })} ${units[i]}`;
}

function fmtMb(mb) {
  if (mb === null || mb === undefined) return null;
  return mb >= 1024 ? `${(mb / 1024).toLocaleString('de-DE', { maximumFractionDigits: 1 })} GB` : `${mb} MB`;
}

function fmtStorage(s) {
  if (!s) return '–';
  const parts = [];
  if (s.flashMb !== null) parts.push(`Flash ${fmtMb(s.flashMb)}`);
  if (s.sdMb !== null) parts.push(`SD ${fmtMb(s.sdMb)}`);
  return parts.length ? parts.join(' · ') : '–';
}

function fmtOffset(s) {
  if (s === null || s === undefined) return '–';
  return `${s > 0 ? '+' : ''}${s} s`;
}

function fmtNumber(v) {
  if (v === null || v === undefined) return '–';
  return Number(v).toLocaleString('de-DE', { maximumFractionDigits: 3 });
}

function stateBadge(state) {
  return el('span', { class: `state state-${state}`, 'data-state': state }, STATES[state] || state);
}

function deviceLink(serial, text) {
  if (!serial) return text;
  return el('a', { href: `device.html?serial=${encodeURIComponent(serial)}` }, text);
}

// ---- Geräte ----

// What a heading sorts by.
const SORT_KEYS = {
  name: (d) => (d.name || d.address).toLowerCase(),
  serial: (d) => d.serial,
  address: (d) => d.address,
  state: (d) => ['down', 'never', 'up', 'paused'].indexOf(d.state),
  lastContact: (d) => d.lastContact,
  lastSuccessAge: (d) => d.lastSuccessAge,
  failures: (d) => d.failures,
  storage: (d) => (d.freeStorage ? d.freeStorage.flashMb : null),
  firmware: (d) => d.firmware,
  clockOffset: (d) => (d.clockOffset === null ? null : Math.abs(d.clockOffset)),
};

const missing = (v) => v === null || v === undefined;

// Rows without the value stay at the end in either direction; equal ones keep the inventory's order.
function compareRows(a, b, key, dir) {
  const x = key(a);
  const y = key(b);
  if (missing(x) !== missing(y)) return missing(x) ? 1 : -1;
  if (!missing(x) && x !== y) return (x < y ? -1 : 1) * dir;
  return a.id - b.id;
}

function initDevices() {
  const table = document.getElementById('devices');
  const body = table.tBodies[0];
  let devices = [];
  // The order chosen is kept in the address (#sort=failures-desc), so a bookmark or a reload keeps it.
  const chosen = /^#sort=([A-Za-z]+?)(-desc)?$/.exec(location.hash);
  let sort = { key: 'state', dir: 1 };
  if (chosen && Object.prototype.hasOwnProperty.call(SORT_KEYS, chosen[1])) sort = { key: chosen[1], dir: chosen[2] ? -1 : 1 };

  function render() {
    const key = SORT_KEYS[sort.key];
    const rows = devices.slice().sort((a, b) => compareRows(a, b, key, sort.dir));
    for (const th of table.tHead.rows[0].cells) {
      th.classList.toggle('sorted-asc', th.dataset.key === sort.key && sort.dir > 0);
      th.classList.toggle('sorted-desc', th.dataset.key === sort.key && sort.dir < 0);
    }
    clear(body);
    for (const d of rows) {
      body.append(
        el('tr', { 'data-serial': d.serial, 'data-state': d.state },
          el('td', {}, deviceLink(d.serial, d.name || d.address)),
          el('td', {}, deviceLink(d.serial, d.serial === null ? '–' : String(d.serial))),
          el('td', { class: 'nowrap' }, d.address),
          el('td', { title: d.lastRun ? [RESULTS[d.lastRun.result] || d.lastRun.result, d.lastRun.message].filter((t) => t).join(': ') : null },
            stateBadge(d.state)),
          el('td', { class: 'time', title: d.lastContact ? fmtTime(d.lastContact) : null }, fmtTime(d.lastContact, false)),
          el('td', { class: 'nowrap', title: d.lastSuccess ? fmtTime(d.lastSuccess) : null }, fmtAge(d.lastSuccessAge)),
          el('td', { class: d.failures > 0 ? 'num bad' : 'num' }, String(d.failures)),
          el('td', { class: 'num' }, fmtStorage(d.freeStorage)),
          el('td', {}, d.firmware || '–'),
          el('td', { class: d.clockOffset !== null && Math.abs(d.clockOffset) > 2 ? 'num bad' : 'num' }, fmtOffset(d.clockOffset))));
    }
    if (!rows.length) body.append(el('tr', {}, el('td', { colspan: 10, class: 'note' }, 'Keine Geräte im Bestand.')));
    const counts = { up: 0, down: 0, paused: 0, never: 0 };
    for (const d of devices) counts[d.state] = (counts[d.state] || 0) + 1;
    const summary = document.getElementById('summary');
    clear(summary);
    summary.append(`${devices.length} Geräte: `);
    for (const s of ['up', 'down', 'never', 'paused']) summary.append(stateBadge(s), ` ${counts[s]}  `);
  }

  for (const th of table.tHead.rows[0].cells) {
    th.tabIndex = 0;
    const pick = () => {
      sort = { key: th.dataset.key, dir: sort.key === th.dataset.key ? -sort.dir : 1 };
      history.replaceState(null, '', `#sort=${sort.key}${sort.dir < 0 ? '-desc' : ''}`);
      render();
    };
    th.addEventListener('click', pick);
    th.addEventListener('keydown', (e) => {
      if (e.key === 'Enter' || e.key === ' ') {
        e.preventDefault();
        pick();
      }
    });
  }

  async function load() {
    try {
      const doc = await api('/api/devices');
      devices = doc.devices;
      showMessage('');
      render();
      document.getElementById('updated').textContent = `Stand ${fmtTime(doc.now)}; aktualisiert sich alle 10 s.`;
    } catch (e) {
      showMessage(`Geräte nicht lesbar: ${e.message}`);
    }
  }
  load();
  setInterval(load, 10000);
}

// ---- Gerät ----

function pairs(tbody, list) {
  clear(tbody);
  for (const [k, v] of list) tbody.append(el('tr', {}, el('th', {}, k), el('td', {}, v)));
}

function eventRow(e, withSerial) {
  return el('tr', {},
    el('td', {}, fmtTime(e.time)),
    withSerial ? el('td', {}, deviceLink(e.serial, String(e.serial))) : null,
    el('td', {}, e.text),
    el('td', { class: 'num' }, fmtNumber(e.maxValue)),
    el('td', {}, e.unit || ''),
    el('td', { class: 'num' }, e.harmonic === null ? '–' : String(e.harmonic)),
    el('td', { class: 'num' }, fmtDuration(e.duration)),
    withSerial ? el('td', { class: 'path' }, e.file || '–') : null);
}

function initDevice() {
  const serial = new URLSearchParams(location.search).get('serial') || '';
  document.getElementById('allevents').href = `events.html?serial=${encodeURIComponent(serial)}`;
  let after = null;

  async function moreEvents() {
    const q = new URLSearchParams({ serial, limit: '50' });
    if (after !== null) q.set('after', after);
    try {
      const doc = await api(`/api/events?${q}`);
      const body = document.querySelector('#events tbody');
      if (after === null) clear(body);
      for (const e of doc.events) body.append(eventRow(e, false));
      if (after === null && !doc.events.length) body.append(el('tr', {}, el('td', { colspan: 6, class: 'note' }, 'Keine Ereignisse.')));
      after = doc.next;
      document.getElementById('more').hidden = doc.next === null;
    } catch (e) {
      showMessage(`Ereignisse nicht lesbar: ${e.message}`);
    }
  }
  document.getElementById('more').addEventListener('click', moreEvents);

  async function load() {
    let doc;
    try {
      doc = await api(`/api/devices/${encodeURIComponent(serial)}`);
    } catch (e) {
      showMessage(`Gerät ${serial}: ${e.message}`);
      return;
    }
    const d = doc.device;
    document.title = `${d.name || d.address} – vanta-fleet`;
    const title = document.getElementById('title');
    clear(title);
    title.append(`${d.name || d.address} `, el('span', { class: 'note' }, `Seriennummer ${d.serial}`), ' ', stateBadge(d.state));
    pairs(document.querySelector('#overview tbody'), [
      ['Zustand', stateBadge(d.state)],
      ['Adresse', d.address],
      ['Anlage', d.plant || '–'],
      ['Feld', d.field || '–'],
      ['Gerät', d.device || '–'],
      ['Firmware', d.firmware || '–'],
      ['Intervall', fmtDuration(d.every)],
      ['Letzter Kontakt', fmtTime(d.lastContact)],
      ['Letzter Erfolg', `${fmtTime(d.lastSuccess)} (${fmtAge(d.lastSuccessAge)})`],
      ['Fehlversuche in Folge', String(d.failures)],
      ['Nächste Lesung', d.paused ? 'pausiert' : fmtTime(d.nextDue)],
      ['Dateien', `${doc.filesTotal} (${fmtBytes(doc.bytesTotal)})`],
    ]);
    const s = doc.status;
    pairs(document.querySelector('#status tbody'), s ? [
      ['Aufgenommen', fmtTime(s.takenAt)],
      ['Firmware', s.firmware || '–'],
      ['Laufzeit', fmtDuration(s.uptime)],
      ['Geräteuhr', fmtTime(s.deviceTime)],
      ['Uhrabweichung', fmtOffset(s.clockOffset)],
      ['Zeitsynchronisation', s.timeSync || '–'],
      ['Flash frei', fmtMb(s.flashFreeMb) || '–'],
      ['SD-Karte frei', fmtMb(s.sdFreeMb) || '–'],
      ['RAM frei', fmtMb(s.ramFreeMb) || '–'],
    ] : [['Status', 'noch keiner']]);
    const runs = document.querySelector('#runs tbody');
    clear(runs);
    for (const r of doc.runs) {
      runs.append(el('tr', {},
        el('td', {}, fmtTime(r.startedAt)),
        el('td', {}, fmtTime(r.endedAt)),
        el('td', { class: 'num' }, fmtDuration(r.duration)),
        el('td', { class: `result result-${r.result || 'running'}` }, r.result ? RESULTS[r.result] || r.result : 'läuft'),
        el('td', { class: 'num' }, String(r.filesNew)),
        el('td', { class: 'num' }, fmtBytes(r.bytes)),
        el('td', {}, r.message)));
    }
    if (!doc.runs.length) runs.append(el('tr', {}, el('td', { colspan: 7, class: 'note' }, 'Noch keine Läufe.')));
    document.getElementById('filecount').textContent =
      doc.filesTotal > doc.files.length ? `(die neuesten ${doc.files.length} von ${doc.filesTotal})` : `(${doc.filesTotal})`;
    const files = document.querySelector('#files tbody');
    clear(files);
    for (const f of doc.files) {
      files.append(el('tr', {},
        el('td', { class: 'path', title: `SHA-256 ${f.sha256}` }, f.path),
        el('td', {}, f.kind === 'event' ? 'Ereignis' : 'Aufzeichnung'),
        el('td', {}, f.class || '–'),
        el('td', {}, fmtTime(f.start)),
        el('td', {}, fmtTime(f.end)),
        el('td', { class: 'num' }, fmtBytes(f.size)),
        el('td', {}, fmtTime(f.downloadedAt))));
    }
    if (!doc.files.length) files.append(el('tr', {}, el('td', { colspan: 7, class: 'note' }, 'Keine Dateien.')));
  }
  // The device's state, runs and files follow the service; the events the
  // user paged through stay as they are until the page is loaded again.
  load();
  moreEvents();
  setInterval(load, 10000);
}

// ---- Ereignisse ----

// datetime-local (this browser's zone) to ISO 8601 UTC and back.
function localToIso(v) {
  if (!v) return '';
  const d = new Date(v);
  return isNaN(d) ? '' : d.toISOString();
}
function isoToLocal(v) {
  if (!v) return '';
  const d = new Date(v);
  if (isNaN(d)) return '';
  return `${d.getFullYear()}-${pad(d.getMonth() + 1)}-${pad(d.getDate())}T${pad(d.getHours())}:${pad(d.getMinutes())}:${pad(d.getSeconds())}`;
}

function initEvents() {
  const form = document.getElementById('filter');
  const params = new URLSearchParams(location.search);
  form.serial.value = params.get('serial') || '';
  form.from.value = isoToLocal(params.get('from'));
  form.to.value = isoToLocal(params.get('to'));
  form.text.value = params.get('text') || '';
  if (params.get('limit')) form.limit.value = params.get('limit');
  // Keyset paging goes forward only: the pages seen are remembered for "Zurück".
  let pages = [null];
  let next = null;

  function filters() {
    const q = new URLSearchParams();
    if (form.serial.value.trim()) q.set('serial', form.serial.value.trim());
    if (form.from.value) q.set('from', localToIso(form.from.value));
    if (form.to.value) q.set('to', localToIso(form.to.value));
    if (form.text.value) q.set('text', form.text.value);
    q.set('limit', form.limit.value);
    return q;
  }

  async function show() {
    const q = filters();
    history.replaceState(null, '', `events.html?${q}`);
    const after = pages[pages.length - 1];
    if (after !== null) q.set('after', after);
    const body = document.querySelector('#events tbody');
    try {
      const doc = await api(`/api/events?${q}`);
      showMessage('');
      clear(body);
      for (const e of doc.events) body.append(eventRow(e, true));
      if (!doc.events.length) body.append(el('tr', {}, el('td', { colspan: 8, class: 'note' }, 'Keine Ereignisse zu diesem Filter.')));
      next = doc.next;
    } catch (e) {
      clear(body);
      next = null;
      showMessage(e.message);
    }
    document.getElementById('page').textContent = `Seite ${pages.length}`;
    document.getElementById('next').disabled = next === null;
    document.getElementById('prev').disabled = pages.length < 2;
    document.getElementById('first').disabled = pages.length < 2;
  }

  form.addEventListener('submit', (e) => {
    e.preventDefault();
    pages = [null];
    show();
  });
  form.addEventListener('reset', () => {
    setTimeout(() => {
      pages = [null];
      show();
    }, 0);
  });
  document.getElementById('next').addEventListener('click', () => {
    if (next === null) return;
    pages.push(next);
    show();
  });
  document.getElementById('prev').addEventListener('click', () => {
    if (pages.length > 1) pages.pop();
    show();
  });
  document.getElementById('first').addEventListener('click', () => {
    pages = [null];
    show();
  });
  show();
}

const page = document.body.dataset.page;
if (page === 'devices') initDevices();
else if (page === 'device') initDevice();
else if (page === 'events') initEvents();
