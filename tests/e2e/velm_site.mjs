// A temporary velm installation served by lighttpd on a free loopback port.
import { spawn, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';

const repo = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');

function freePort() {
  return new Promise((resolve, reject) => {
    const srv = net.createServer();
    srv.listen(0, '127.0.0.1', () => {
      const { port } = srv.address();
      srv.close(() => resolve(port));
    });
    srv.on('error', reject);
  });
}

async function waitForPort(port, ms) {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    const ok = await new Promise((resolve) => {
      const s = net.connect(port, '127.0.0.1', () => { s.end(); resolve(true); });
      s.on('error', () => resolve(false));
    });
    if (ok) return;
    await new Promise((r) => setTimeout(r, 100));
  }
  throw new Error(`lighttpd did not listen on ${port}`);
}

const crlf = (text) => text.replace(/\r?\n/g, '\r\n');

// Lays out velm.exe, velm.ini, account.ini and the demo blog, then starts lighttpd.
export async function startSite(velmExe) {
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'velm-e2e-'));
  const port = await freePort();
  for (const d of ['images/demo', 'template', 'log', 'velmsystem/demo']) fs.mkdirSync(path.join(root, d), { recursive: true });
  fs.copyFileSync(velmExe, path.join(root, 'velm.exe'));
  fs.chmodSync(path.join(root, 'velm.exe'), 0o755);
  const ini = fs.readFileSync(path.join(repo, 'deploy/velm.ini'), 'latin1')
    .replace(/^SYSTEMURL=.*$/m, `SYSTEMURL=http://127.0.0.1:${port}/`);
  fs.writeFileSync(path.join(root, 'velm.ini'), crlf(ini), 'latin1');
  fs.writeFileSync(path.join(root, 'velmsystem/account.ini'), '"demo","demo","e2e-pass"\r\n');
  execFileSync('/usr/bin/python3', [path.join(repo, 'deploy/demo/make_demo.py'), root, 'demo', 'demo'], { stdio: 'inherit' });
  const conf = fs.readFileSync(path.join(repo, 'deploy/lighttpd.conf.in'), 'utf8')
    .replaceAll('@ROOT@', root).replaceAll('@PORT@', String(port));
  fs.writeFileSync(path.join(root, 'lighttpd.conf'), conf);
  const server = spawn('/usr/sbin/lighttpd', ['-D', '-f', path.join(root, 'lighttpd.conf')], { stdio: 'inherit' });
  await waitForPort(port, 10000);
  return {
    root,
    port,
    url: (q) => `http://127.0.0.1:${port}/velm.exe${q ? '?' + q : ''}`,
    sjis: (rel) => new TextDecoder('shift_jis').decode(fs.readFileSync(path.join(root, rel))),
    stop() {
      server.kill('SIGTERM');
      fs.rmSync(root, { recursive: true, force: true });
    },
  };
}

export function chromiumOptions() {
  return {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
      '--disable-quic', '--no-first-run', '--disable-component-update', '--disable-sync'],
  };
}
