// The demo blog's gadget column in Chromium with a feed box reading a feed served on loopback:
// the entries appear as links, a second view comes from the cache, a dead source is marked.
//   node tests/e2e/feed_box.mjs path/to/velm.exe
import { after, before, describe, it } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

const velmExe = process.argv[2];
const here = path.dirname(new URL(import.meta.url).pathname);
const repo = path.resolve(here, '../..');
let root, port, server, feedSite, feedPort, browser, page;
const feedRequests = [];
const problems = [];
const at = (rel) => path.join(root, rel);

const ENTRIES = [
  ['川辺の朝', '/entries/1', 'Tue, 01 Dec 2026 07:30:00 +0900'],
  ['駅前の & 古本屋', '/entries/2', 'Mon, 30 Nov 2026 18:00:00 +0900'],
  ['<b>冬</b>支度', '/entries/3', 'Sun, 29 Nov 2026 12:00:00 +0900'],
];
const rss = () => `<?xml version="1.0" encoding="UTF-8"?>\n<rss version="2.0"><channel><title>となりのブログ</title>` +
  ENTRIES.map(([title, link, date]) => `<item><title><![CDATA[${title}]]></title><link>http://127.0.0.1:${feedPort}${link}</link>` +
    `<description>本文 <b>${title}</b></description><pubDate>${date}</pubDate></item>`).join('') + '</channel></rss>';

const freePort = () => new Promise((resolve) => {
  const srv = net.createServer().listen(0, '127.0.0.1', () => { const p = srv.address().port; srv.close(() => resolve(p)); });
});

async function startSites() {
  feedSite = http.createServer((req, res) => {
    feedRequests.push(`${req.url} ${req.headers['user-agent']}`);
    if (req.url === '/feed.xml') {
      res.writeHead(200, { 'Content-Type': 'application/rss+xml' });  // chunked: node's default without a length
      res.end(rss());
    } else {
      res.writeHead(404);
      res.end();
    }
  });
  feedPort = await new Promise((resolve) => feedSite.listen(0, '127.0.0.1', () => resolve(feedSite.address().port)));
  const deadPort = await freePort();  // nothing listens there

  root = fs.mkdtempSync(path.join(os.tmpdir(), 'velm-e2e-feed-'));
  port = await freePort();
  for (const d of ['images/demo', 'template', 'log', 'velmsystem/demo']) fs.mkdirSync(at(d), { recursive: true });
  fs.copyFileSync(velmExe, at('velm.exe'));
  fs.chmodSync(at('velm.exe'), 0o755);
  const ini = fs.readFileSync(path.join(repo, 'deploy/velm.ini'), 'latin1').replace(/^SYSTEMURL=.*$/m, `SYSTEMURL=http://127.0.0.1:${port}/`);
  assert.match(ini, /^USESIDEMENURSS=ON$/m, 'the demo turns the feed boxes on');
  fs.writeFileSync(at('velm.ini'), (ini + 'RSSREADTIMEOUT=3\n').replace(/\r?\n/g, '\r\n'), 'latin1');
  fs.writeFileSync(at('velmsystem/account.ini'), '"demo","demo","e2e-pass"\r\n');
  execFileSync('/usr/bin/python3', [path.join(repo, 'deploy/demo/make_demo.py'), root, 'demo', 'demo'], { stdio: 'inherit' });
  // Two more gadget boxes: a feed from the site above, then one from a port where nothing listens.
  const side = at('velmsystem/demo/sidemenu.txt');
  const box = `SIDEMENU4START\r\n<b>Neighbours</b><br>\r\n<RSSCONTENT key="neighbour" src="http://127.0.0.1:${feedPort}/feed.xml" ` +
    `count="3" desc="on">\r\nSIDEMENU4END\r\nSIDEMENU5START\r\n<RSSCONTENT key="gone" src="http://127.0.0.1:${deadPort}/feed.xml">\r\n` +
    'SIDEMENU5END\r\n';
  fs.appendFileSync(side, box, 'latin1');
  const conf = fs.readFileSync(path.join(repo, 'deploy/lighttpd.conf.in'), 'utf8').replaceAll('@ROOT@', root).replaceAll('@PORT@', String(port));
  fs.writeFileSync(at('lighttpd.conf'), conf);
  server = spawn('/usr/sbin/lighttpd', ['-D', '-f', at('lighttpd.conf')], { stdio: 'inherit' });
  for (let tries = 0; !(await fetch(`http://127.0.0.1:${port}/log/`).then(() => true, () => false)); tries += 1) {
    if (tries > 100) throw new Error(`lighttpd did not listen on ${port}`);
    await new Promise((r) => setTimeout(r, 100));
  }
  return deadPort;
}

describe('feed box in the browser', () => {
  let deadPort;
  before(async () => {
    assert.ok(velmExe && fs.existsSync(velmExe), 'usage: node feed_box.mjs velm.exe');
    deadPort = await startSites();
    browser = await chromium.launch({ executablePath: '/usr/bin/chromium', headless: true, args: ['--headless', '--no-sandbox',
      '--disable-gpu', '--disable-background-networking', '--disable-quic', '--no-first-run', '--disable-component-update', '--disable-sync'] });
    page = await browser.newPage({ viewport: { width: 1024, height: 900 } });
    page.on('pageerror', (err) => problems.push(`script: ${err.message}`));
    page.on('response', (res) => { if (res.status() >= 400 && !res.url().endsWith('/favicon.ico')) problems.push(`${res.status()}: ${res.url()}`); });
  });

  after(async () => {
    await browser?.close();
    server?.kill('SIGTERM');
    feedSite?.close();
    if (root) fs.rmSync(root, { recursive: true, force: true });
  });

  it('shows the newest entries of the feed in the gadget column', async () => {
    const response = await page.goto(`http://127.0.0.1:${port}/velm.exe?demo`);
    assert.equal(response.status(), 200);
    const column = page.locator('td.subcell');
    assert.ok(await column.isVisible(), 'gadget column shown');
    const links = column.locator(`a[href^="http://127.0.0.1:${feedPort}/entries/"]`);
    assert.deepEqual(await links.allInnerTexts(), ENTRIES.map((e) => e[0]), 'titles as text, markup included');
    assert.equal(await links.first().getAttribute('target'), '_blank');
    const text = await column.innerText();
    assert.ok(text.includes('2026/12/01 川辺の朝'), text);
    assert.ok(text.includes(`本文 ${ENTRIES[0][0]}`), 'descriptions without their markup');
    assert.ok(text.includes(`[http://127.0.0.1:${deadPort}/feed.xml] is cannot read`), text);
    assert.equal(await column.locator('b', { hasText: '冬' }).count(), 0, 'no markup from the feed');
    fs.mkdirSync(path.join(here, 'artifacts'), { recursive: true });
    await column.screenshot({ path: path.join(here, 'artifacts/feed-box.png') });
  });

  it('serves the next views from the cache', async () => {
    const before = feedRequests.length;
    await page.reload();
    assert.equal(await page.locator(`td.subcell a[href^="http://127.0.0.1:${feedPort}/entries/"]`).count(), 3);
    assert.equal(feedRequests.length, before);
    assert.ok(feedRequests.every((r) => r.endsWith('VELM_RSS_READER1.0')), feedRequests.join('\n'));
  });

  it('produced no script errors and no failed requests', () => {
    assert.deepEqual(problems, []);
  });
});
