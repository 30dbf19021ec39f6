// A temporary velm installation served by lighttpd on a free loopback port, and small helpers
// for browser tests.
import { spawn, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';
import { chromium } from 'playwright-core';

const here = path.dirname(new URL(import.meta.url).pathname);
export const repo = path.resolve(here, '../..');

// A loopback port where nothing listens now.
export const freePort = () => new Promise((resolve) => {
  const srv = net.createServer().listen(0, '127.0.0.1', () => { const p = srv.address().port; srv.close(() => resolve(p)); });
});

// deploy/velm.ini with this port, plus `ini` lines; account "demo" (login "demo", password
// "e2e-pass") with the demo blog unless `demo` is false. `prepare(site)` may change the files
// before the server starts.
export async function startSite(velmExe, ini = [], { demo = true, prepare } = {}) {
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'velm-e2e-'));
  const at = (rel) => path.join(root, rel);
  const port = await freePort();
  for (const d of ['images/demo', 'template', 'log', 'velmsystem/demo']) fs.mkdirSync(at(d), { recursive: true });
  fs.copyFileSync(velmExe, at('velm.exe'));
  fs.chmodSync(at('velm.exe'), 0o755);
  const base = fs.readFileSync(path.join(repo, 'deploy/velm.ini'), 'latin1').replace(/^SYSTEMURL=.*$/m, `SYSTEMURL=http://127.0.0.1:${port}/`);
  fs.writeFileSync(at('velm.ini'), [...base.split(/\r?\n/).filter((l) => l !== ''), ...ini, ''].join('\r\n'), 'latin1');
  fs.writeFileSync(at('velmsystem/account.ini'), '"demo","demo","e2e-pass"\r\n');
  if (demo) execFileSync('/usr/bin/python3', [path.join(repo, 'deploy/demo/make_demo.py'), root, 'demo', 'demo'], { stdio: 'inherit' });
  const site = {
    root, port, at,
    url: (q) => `http://127.0.0.1:${port}/velm.exe?${q}`,
    sjis: (rel) => new TextDecoder('shift_jis').decode(fs.readFileSync(at(rel))),
  };
  await prepare?.(site);
  const conf = fs.readFileSync(path.join(repo, 'deploy/lighttpd.conf.in'), 'utf8').replaceAll('@ROOT@', root).replaceAll('@PORT@', String(port));
  // The configuration stays outside the served folder.
  const confPath = `${root}.lighttpd.conf`;
  fs.writeFileSync(confPath, conf);
  const server = spawn('/usr/sbin/lighttpd', ['-D', '-f', confPath], { stdio: 'inherit' });
  for (let tries = 0; !(await fetch(`http://127.0.0.1:${port}/log/`).then(() => true, () => false)); tries += 1) {
    if (tries > 100) throw new Error(`lighttpd did not listen on ${port}`);
    await new Promise((r) => setTimeout(r, 100));
  }
  site.stop = () => {
    server.kill('SIGTERM');
    fs.rmSync(root, { recursive: true, force: true });
    fs.rmSync(confPath, { force: true });
  };
  return site;
}

export const chromiumArgs = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-quic',
  '--no-first-run', '--disable-component-update', '--disable-sync'];

export function launchBrowser() {
  return chromium.launch({ executablePath: '/usr/bin/chromium', headless: true, args: chromiumArgs });
}

// Collects into `problems` what a page should never show: console errors, script errors, failed
// requests (unless `expectedFailure(request)`) and error answers. The browser's own look for
// /favicon.ico is not the blog's doing.
export function watchPage(page, problems, expectedFailure = () => false) {
  const favicon = (url) => url.endsWith('/favicon.ico');
  page.on('console', (msg) => {
    if (msg.type() === 'error' && !favicon(msg.location().url)) problems.push(`console: ${msg.text()} (${page.url()})`);
  });
  page.on('pageerror', (err) => problems.push(`script: ${err.message} (${page.url()})`));
  page.on('requestfailed', (req) => {
    if (!favicon(req.url()) && !expectedFailure(req)) problems.push(`failed: ${req.url()}`);
  });
  page.on('response', (res) => { if (res.status() >= 400 && !favicon(res.url())) problems.push(`${res.status()}: ${res.url()}`); });
}

// Record lines: quoted fields separated by commas.
export const records = (text) => text.split('\r\n').filter((l) => l !== '').map((l) => [...l.matchAll(/"((?:[^"]|"")*)"|([^",\s]+)/g)]
  .map((m) => (m[1] !== undefined ? m[1].replaceAll('""', '"') : m[2])));

// Where the tests leave their screenshots.
export function artifact(name) {
  fs.mkdirSync(path.join(here, 'artifacts'), { recursive: true });
  return path.join(here, 'artifacts', name);
}

const crcTable = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; k += 1) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});
function crc32(bytes) {
  let c = 0xffffffff;
  for (const b of bytes) c = crcTable[(c ^ b) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}
function chunk(type, data) {
  const head = Buffer.alloc(8);
  head.writeUInt32BE(data.length, 0);
  head.write(type, 4, 'latin1');
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), data])), 0);
  return Buffer.concat([head, data, crc]);
}

// A PNG of width x height whose pixels are pixel(x, y) -> [r, g, b].
export function png(width, height, pixel) {
  const raw = Buffer.alloc((width * 3 + 1) * height);
  for (let y = 0; y < height; y += 1) {
    const row = y * (width * 3 + 1);
    for (let x = 0; x < width; x += 1) raw.set(pixel(x, y), row + 1 + x * 3);
  }
  const ihdr = Buffer.alloc(13);
  ihdr.writeUInt32BE(width, 0);
  ihdr.writeUInt32BE(height, 4);
  ihdr.set([8, 2, 0, 0, 0], 8);
  return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), chunk('IHDR', ihdr),
    chunk('IDAT', zlib.deflateSync(raw)), chunk('IEND', Buffer.alloc(0))]);
}
