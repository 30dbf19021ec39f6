// A temporary installation of velm with the demo blog, served by lighttpd on a free loopback
// port, and Debian's Chromium to read it: what the browser tests share.
import { spawn, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

const here = path.dirname(new URL(import.meta.url).pathname);
const repo = path.resolve(here, '../..');

export async function startSite(velmExe) {
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'velm-e2e-'));
  const port = await new Promise((resolve) => {
    const srv = net.createServer().listen(0, '127.0.0.1', () => { const p = srv.address().port; srv.close(() => resolve(p)); });
  });
  const at = (rel) => path.join(root, rel);
  for (const d of ['images/demo', 'template', 'log', 'velmsystem/demo']) fs.mkdirSync(at(d), { recursive: true });
  fs.copyFileSync(velmExe, at('velm.exe'));
  fs.chmodSync(at('velm.exe'), 0o755);
  const ini = fs.readFileSync(path.join(repo, 'deploy/velm.ini'), 'latin1').replace(/^SYSTEMURL=.*$/m, `SYSTEMURL=http://127.0.0.1:${port}/`);
  fs.writeFileSync(at('velm.ini'), ini.replace(/\r?\n/g, '\r\n'), 'latin1');
  fs.writeFileSync(at('velmsystem/account.ini'), '"demo","demo","e2e-pass"\r\n');
  execFileSync('/usr/bin/python3', [path.join(repo, 'deploy/demo/make_demo.py'), root, 'demo', 'demo'], { stdio: 'inherit' });
  const conf = fs.readFileSync(path.join(repo, 'deploy/lighttpd.conf.in'), 'utf8').replaceAll('@ROOT@', root).replaceAll('@PORT@', String(port));
  fs.writeFileSync(at('lighttpd.conf'), conf);
  const server = spawn('/usr/sbin/lighttpd', ['-D', '-f', at('lighttpd.conf')], { stdio: 'inherit' });
  for (let tries = 0; !(await fetch(`http://127.0.0.1:${port}/log/`).then(() => true, () => false)); tries += 1) {
    if (tries > 100) throw new Error(`lighttpd did not listen on ${port}`);
    await new Promise((r) => setTimeout(r, 100));
  }
  return {
    root,
    port,
    at,
    url: (q) => `http://127.0.0.1:${port}/velm.exe?${q}`,
    sjis: (rel) => new TextDecoder('shift_jis').decode(fs.readFileSync(at(rel))),
    stop() {
      server.kill('SIGTERM');
      fs.rmSync(root, { recursive: true, force: true });
    },
  };
}

export function launchBrowser() {
  return chromium.launch({ executablePath: '/usr/bin/chromium', headless: true, args: ['--headless', '--no-sandbox',
    '--disable-gpu', '--disable-background-networking', '--disable-quic', '--no-first-run', '--disable-component-update', '--disable-sync'] });
}

// Record lines: quoted fields separated by commas.
export const records = (text) => text.split('\r\n').filter((l) => l !== '').map((l) => [...l.matchAll(/"((?:[^"]|"")*)"|([^",\s]+)/g)]
  .map((m) => (m[1] !== undefined ? m[1].replaceAll('""', '"') : m[2])));

// Where the tests leave their screenshots.
export function artifact(name) {
  fs.mkdirSync(path.join(here, 'artifacts'), { recursive: true });
  return path.join(here, 'artifacts', name);
}
