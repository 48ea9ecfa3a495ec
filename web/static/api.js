// The console's API as the page uses it: JSON in and out, the CSRF token on every change.
let csrf = '';

export class ApiError extends Error {
  constructor(status, message, body) { super(message); this.status = status; this.body = body; }
}

export function setCsrf(token) { csrf = token || ''; }

export async function call(method, path, body) {
  const options = { method, headers: {}, credentials: 'same-origin' };
  if (method !== 'GET') options.headers['X-CSRF-Token'] = csrf;
  if (body !== undefined) {
    options.headers['Content-Type'] = 'application/json';
    options.body = JSON.stringify(body);
  }
  const response = await fetch(path, options);
  let data = null;
  try { data = await response.json(); } catch (e) { data = null; }
  if (!response.ok) throw new ApiError(response.status, (data && data.error) || response.statusText, data);
  return data;
}

export const get = (path) => call('GET', path);
export const post = (path, body) => call('POST', path, body);

export function sitePath(site) { return `/api/sites/${encodeURIComponent(site)}`; }
export function pointPath(site, address) { return `${sitePath(site)}/points/${encodeURIComponent(address)}`; }
