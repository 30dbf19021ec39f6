// The demo blog's gadget column in Chromium with a feed box reading a feed served on loopback:
// the entries appear as links, a second view comes from the cache, a dead source is marked.
//   node tests/e2e/feed_box.mjs path/to/velm.exe
import { after, before, describe, it } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import { artifact, freePort, launchBrowser, startSite, watchPage } from './site.mjs';

const velmExe = process.argv[2];
let site, feedSite, feedPort, browser, page;
const feedRequests = [];
const problems = [];

const ENTRIES = [
  ['川辺の朝', '/entries/1', 'Tue, 01 Dec 2026 07:30:00 +0900'],
  ['駅前の & 古本屋', '/entries/2', 'Mon, 30 Nov 2026 18:00:00 +0900'],
  ['<b>冬</b>支度', '/entries/3', 'Sun, 29 Nov 2026 12:00:00 +0900'],
];
const rss = () => `<?xml version="1.0" encoding="UTF-8"?>\n<rss version="2.0"><channel><title>となりのブログ</title>` +
  ENTRIES.map(([title, link, date]) => `<item><title><![CDATA[${title}]]></title><link>http://127.0.0.1:${feedPort}${link}</link>` +
    `<description>本文 <b>${title}</b></description><pubDate>${date}</pubDate></item>`).join('') + '</channel></rss>';

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

  site = await startSite(velmExe, ['RSSREADTIMEOUT=3'], {
    // Two more gadget boxes: a feed from the site above, then one from a port where nothing listens.
    prepare: (s) => {
      assert.match(s.sjis('velm.ini'), /^USESIDEMENURSS=ON\r$/m, 'the demo turns the feed boxes on');
      const box = `SIDEMENU4START\r\n<b>Neighbours</b><br>\r\n<RSSCONTENT key="neighbour" src="http://127.0.0.1:${feedPort}/feed.xml" ` +
        `count="3" desc="on">\r\nSIDEMENU4END\r\nSIDEMENU5START\r\n<RSSCONTENT key="gone" src="http://127.0.0.1:${deadPort}/feed.xml">\r\n` +
        'SIDEMENU5END\r\n';
      fs.appendFileSync(s.at('velmsystem/demo/sidemenu.txt'), box, 'latin1');
    },
  });
  return deadPort;
}

describe('feed box in the browser', () => {
  let deadPort;
  before(async () => {
    assert.ok(velmExe && fs.existsSync(velmExe), 'usage: node feed_box.mjs velm.exe');
    deadPort = await startSites();
    browser = await launchBrowser();
    page = await browser.newPage({ viewport: { width: 1024, height: 900 } });
    watchPage(page, problems);
  });

  after(async () => {
    await browser?.close();
    site?.stop();
    feedSite?.close();
  });

  it('shows the newest entries of the feed in the gadget column', async () => {
    const response = await page.goto(site.url('demo'));
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
    await column.screenshot({ path: artifact('feed-box.png') });
  });

  it('serves the next views from the cache', async () => {
    const before = feedRequests.length;
    await page.reload();
    assert.equal(await page.locator(`td.subcell a[href^="http://127.0.0.1:${feedPort}/entries/"]`).count(), 3);
    assert.equal(feedRequests.length, before);
    assert.ok(feedRequests.every((r) => r.endsWith('VELM_RSS_READER1.0')), feedRequests.join('\n'));
  });

  it('produced no console errors and no failed requests', () => {
    assert.deepEqual(problems, []);
  });
});
