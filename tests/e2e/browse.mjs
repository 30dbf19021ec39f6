// Reading the demo blog in Chromium: top page, older pages, a single article, a category,
// the month and day archives. Expected lists come from the data files themselves.
//   node tests/e2e/browse.mjs path/to/velm.exe
import { after, before, describe, it } from 'node:test';
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { chromium } from 'playwright-core';
import { chromiumOptions, startSite } from './velm_site.mjs';

const velmExe = process.argv[2];
const artifacts = path.join(path.dirname(new URL(import.meta.url).pathname), 'artifacts');

// A record line: quoted fields separated by commas (the store never doubles quotes).
function fields(line) {
  const out = [];
  const re = /"((?:[^"]|"")*)"|([^",\s]+)/g;
  let m;
  while ((m = re.exec(line)) !== null) out.push(m[1] !== undefined ? m[1].replaceAll('""', '"') : m[2]);
  return out;
}
const records = (text) => text.split('\r\n').filter((l) => l !== '').map(fields);
const unescape = (s) => s.replaceAll('&lt;', '<').replaceAll('&gt;', '>').replaceAll('&quot;', '"').replaceAll('&amp;', '&');
const monthOf = (date) => date.slice(0, 4) + date.slice(5, 7);
const dayOf = (date) => monthOf(date) + date.slice(8, 10);

let site;
let browser;
let page;
const problems = [];
let blog;

function loadBlog() {
  const dir = 'velmsystem/demo/';
  const categories = records(site.sjis(dir + 'category.txt')).filter((f) => f.length >= 2)
    .map((f) => ({ id: f[0], name: unescape(f[1]), shown: f.length === 2 || f[2] === '1' }));
  const hiddenCategory = new Set(categories.filter((c) => !c.shown).map((c) => c.id));
  const all = records(site.sjis(dir + 'cindex.txt')).filter((f) => f.length === 5 || f.length === 6)
    .map((f) => ({ category: f[0], id: f[1], date: f[2], title: unescape(f[4]), visible: f.length === 5 || f[5] !== '0' }))
    .reverse();
  const articles = all.filter((a) => a.visible && !hiddenCategory.has(a.category));
  const comments = records(site.sjis(dir + 'comment.txt')).filter((f) => f.length >= 6 && f.length <= 8)
    .map((f) => ({ article: f[1], name: f[4], text: unescape(f[5].split('<br>')[0]), waiting: f.length >= 7 && f[6] === '1' }));
  const title = site.sjis(dir + 'title.txt').split('\r\n')[0];
  return { title, categories, all, articles, comments };
}

async function open(query) {
  const response = await page.goto(site.url(query));
  assert.equal(response.status(), 200, query);
  return response;
}

const topics = () => page.locator('.logtopic').allInnerTexts();

async function follow(locator) {
  await Promise.all([page.waitForNavigation(), locator.click()]);
}

async function assertImagesLoaded() {
  const broken = await page.$$eval('img', (imgs) => imgs.filter((i) => !i.complete || i.naturalWidth === 0).map((i) => i.src));
  assert.deepEqual(broken, [], 'pictures that did not load');
}

describe('demo blog in the browser', () => {
  before(async () => {
    assert.ok(velmExe && fs.existsSync(velmExe), 'usage: node browse.mjs velm.exe');
    site = await startSite(velmExe);
    blog = loadBlog();
    browser = await chromium.launch(chromiumOptions());
    page = await browser.newPage({ viewport: { width: 1024, height: 900 } });
    page.on('console', (msg) => {
      // The browser's own look for /favicon.ico is not the blog's doing.
      if (msg.type() === 'error' && !msg.location().url.endsWith('/favicon.ico')) problems.push(`console: ${msg.text()} (${page.url()})`);
    });
    page.on('pageerror', (err) => problems.push(`script: ${err.message} (${page.url()})`));
    page.on('requestfailed', (req) => problems.push(`failed: ${req.url()}`));
    page.on('response', (res) => { if (res.status() >= 400) problems.push(`${res.status()}: ${res.url()}`); });
  });

  after(async () => {
    if (browser) await browser.close();
    if (site) site.stop();
  });

  it('the demo data has what the pages below need', () => {
    assert.ok(blog.articles.length > 10, 'enough public articles for several pages');
    assert.ok(blog.all.length > blog.articles.length, 'some articles are hidden');
    assert.ok(blog.categories.some((c) => !c.shown), 'one category is hidden');
    assert.ok(blog.comments.some((c) => c.waiting) && blog.comments.some((c) => !c.waiting));
    for (const name of ['cindex.txt', 'category.txt', 'comment.txt', 'title.txt', 'style.txt', 'url.link', 'trackback.txt']) {
      const bytes = fs.readFileSync(path.join(site.root, 'velmsystem/demo', name)).toString('latin1');
      assert.ok(bytes.endsWith('\r\n') && !/[^\r]\n/.test(bytes), `${name}: CR LF lines`);
    }
    let pictures = 0;
    for (const a of blog.all) {
      assert.equal(a.id, crypto.createHash('sha1').update(a.date, 'latin1').digest('hex'), `id of ${a.date}`);
      const iix = path.join(site.root, 'velmsystem/demo', `${a.id}.iix`);
      if (!fs.existsSync(iix)) continue;
      records(fs.readFileSync(iix, 'latin1')).forEach(([name], n) => {
        assert.match(name, new RegExp(`^${a.id}-${n + 1}\\.(jpg|JPG|png)$`));
        assert.ok(fs.statSync(path.join(site.root, 'images/demo', name)).size > 100, name);
        pictures += 1;
      });
    }
    assert.ok(pictures >= 5, 'articles with pictures');
  });

  it('shows the newest articles on the top page, in Shift_JIS', async () => {
    const response = await open('demo');
    assert.match(response.headers()['content-type'] ?? '', /^text\/html/);
    assert.equal(await page.evaluate(() => document.characterSet), 'Shift_JIS');
    assert.equal(await page.getAttribute('meta[http-equiv="content-type"]', 'content'), 'text/html; charset=shift_jis');
    assert.equal(await page.title(), blog.title);
    assert.deepEqual(await topics(), blog.articles.slice(0, 5).map((a) => a.title));
    const text = await page.innerText('body');
    for (const a of blog.all.filter((x) => !blog.articles.includes(x))) assert.ok(!text.includes(a.title), `hidden: ${a.title}`);
    await assertImagesLoaded();
    fs.mkdirSync(artifacts, { recursive: true });
    await page.screenshot({ path: path.join(artifacts, 'browse-top.png'), fullPage: true });
  });

  it('walks the older pages through every public article', async () => {
    await open('demo');
    const seen = [...(await topics())];
    let pages = 1;
    while (await page.locator('a', { hasText: '前ぺージ' }).count() > 0) {
      await follow(page.locator('a', { hasText: '前ぺージ' }));
      pages += 1;
      assert.equal(await page.locator('a', { hasText: pages === 2 ? '最新ページ' : '次ぺージ' }).count(), 1, `page ${pages}`);
      seen.push(...(await topics()));
      assert.ok(pages < 20, 'paging ends');
    }
    assert.deepEqual(seen, blog.articles.map((a) => a.title));
    assert.equal(await page.locator('span', { hasText: '[前ぺージ]' }).count(), 1, 'the last page has no older link');
  });

  it('follows the read-more link to the single article', async () => {
    await open('demo');
    const first = blog.articles[0];
    await follow(page.locator('a', { hasText: '続きを読む' }).first());
    assert.ok(page.url().endsWith(`+sl+${first.id}`), page.url());
    assert.equal(await page.title(), `${first.title} - ${blog.title}`);
    assert.deepEqual(await topics(), [first.title]);
    const body = site.sjis(`velmsystem/demo/${first.id}.txt`).split('\r\n')[0];
    assert.ok((await page.innerText('.logcontent')).includes(body.replace(/<[^>]*>/g, '')));
    await assertImagesLoaded();
  });

  it('shows approved comments and keeps waiting ones back', async () => {
    const target = blog.articles.find((a) => blog.comments.some((c) => c.article === a.id && c.waiting));
    assert.ok(target);
    await open(`demo+sl+${target.id}`);
    const text = await page.innerText('body');
    for (const c of blog.comments.filter((x) => x.article === target.id)) {
      assert.equal(text.includes(c.text), !c.waiting, c.text);
    }
  });

  it('lists shown categories with their counts and opens one', async () => {
    await open('demo');
    for (const c of blog.categories) {
      const link = page.locator(`a[href="./velm.exe?demo+sv+${c.id}"]`);
      const count = blog.articles.filter((a) => a.category === c.id).length;
      if (c.shown) assert.equal(await link.innerText(), `${c.name}(${count})`);
      else assert.equal(await link.count(), 0, `hidden category ${c.name}`);
    }
    assert.equal(await page.locator('a[href="./velm.exe?demo+dv"]').innerText(), `全ての記事(${blog.articles.length})`);
    const chosen = blog.categories.find((c) => c.shown && blog.articles.filter((a) => a.category === c.id).length > 5);
    await follow(page.locator(`a[href="./velm.exe?demo+sv+${chosen.id}"]`));
    assert.deepEqual(await topics(), blog.articles.filter((a) => a.category === chosen.id).slice(0, 5).map((a) => a.title));
  });

  it('opens a month from the archive and a day from its calendar', async () => {
    await open('demo');
    const months = [...new Set(blog.articles.map((a) => monthOf(a.date)))];
    const hrefs = await page.$$eval('a[href*="+sv+"]', (as) => as.map((a) => a.getAttribute('href')));
    const monthLinks = hrefs.map((h) => h.match(/\+sv\+(\d{6})$/)).filter(Boolean).map((m) => m[1]);
    for (const m of months) assert.ok(monthLinks.includes(m), `month ${m} in the archive`);
    const month = months[1];
    await follow(page.locator(`a[href="./velm.exe?demo+sv+${month}"]`).filter({ hasText: `${month.slice(0, 4)}/${month.slice(4)}` }).first());
    const ofMonth = blog.articles.filter((a) => monthOf(a.date) === month);
    assert.deepEqual(await topics(), ofMonth.slice(0, 5).map((a) => a.title));
    assert.ok((await page.innerText('.ctable')).includes(`${month.slice(0, 4)}/${month.slice(4)}`), 'calendar shows the month');
    const days = await page.$$eval('.ctable a', (as) => as.map((a) => a.getAttribute('href')).filter((h) => /\+sv\+\d{8}$/.test(h)).map((h) => h.slice(-8)));
    assert.deepEqual([...new Set(days)].sort(), [...new Set(ofMonth.map((a) => dayOf(a.date)))].sort());
    const day = days[0];
    await follow(page.locator(`.ctable a[href="./velm.exe?demo+sv+${day}"]`));
    assert.deepEqual(await topics(), blog.articles.filter((a) => dayOf(a.date) === day).map((a) => a.title));
  });

  it('produced no console errors and no failed requests', () => {
    assert.deepEqual(problems, []);
  });
});
