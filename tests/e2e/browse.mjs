// Reading the demo blog in Chromium through lighttpd: the top page, an older page, a single article,
// a category, and a day from a month's calendar. Expected lists come from the data files themselves.
//   node tests/e2e/browse.mjs path/to/velm.exe
import { after, before, describe, it } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { artifact, launchBrowser, records, startSite, watchPage } from './site.mjs';

const velmExe = process.argv[2];
let site, browser, page, blog;
const problems = [];
const url = (q) => site.url(q);
const sjis = (rel) => site.sjis(rel);

const unescape = (s) => s.replaceAll('&lt;', '<').replaceAll('&gt;', '>').replaceAll('&quot;', '"').replaceAll('&amp;', '&');
const monthOf = (date) => date.slice(0, 4) + date.slice(5, 7);
const dayOf = (date) => monthOf(date) + date.slice(8, 10);

function loadBlog() {
  const categories = records(sjis('velmsystem/demo/category.txt')).filter((f) => f.length >= 2)
    .map((f) => ({ id: f[0], name: unescape(f[1]), shown: f.length === 2 || f[2] === '1' }));
  const hidden = new Set(categories.filter((c) => !c.shown).map((c) => c.id));
  const all = records(sjis('velmsystem/demo/cindex.txt')).filter((f) => f.length === 5 || f.length === 6)
    .map((f) => ({ category: f[0], id: f[1], date: f[2], title: unescape(f[4]), visible: f.length === 5 || f[5] !== '0' }))
    .reverse();
  const articles = all.filter((a) => a.visible && !hidden.has(a.category));
  return { title: sjis('velmsystem/demo/title.txt').split('\r\n')[0], categories, all, articles };
}

async function open(query) {
  const response = await page.goto(url(query));
  assert.equal(response.status(), 200, query);
  return response;
}
const topics = () => page.locator('.logtopic').allInnerTexts();
const follow = (locator) => Promise.all([page.waitForNavigation(), locator.click()]);
const ofCategory = (id) => blog.articles.filter((a) => a.category === id);

describe('demo blog in the browser', () => {
  before(async () => {
    assert.ok(velmExe && fs.existsSync(velmExe), 'usage: node browse.mjs velm.exe');
    site = await startSite(velmExe);
    blog = loadBlog();
    assert.ok(blog.articles.length > 10 && blog.all.length > blog.articles.length, 'several pages, some hidden articles');
    assert.ok(blog.categories.some((c) => !c.shown), 'one category is hidden');
    browser = await launchBrowser();
    page = await browser.newPage({ viewport: { width: 1024, height: 900 } });
    watchPage(page, problems);
  });

  after(async () => {
    await browser?.close();
    site?.stop();
  });

  it('shows the top page in Shift_JIS with its calendar and categories', async () => {
    const response = await open('demo');
    assert.match(response.headers()['content-type'] ?? '', /^text\/html/);
    assert.equal(await page.evaluate(() => document.characterSet), 'Shift_JIS');
    assert.equal(await page.title(), blog.title);
    assert.deepEqual(await topics(), blog.articles.slice(0, 5).map((a) => a.title));
    const text = await page.innerText('body');
    for (const a of blog.all.filter((x) => !blog.articles.includes(x))) assert.ok(!text.includes(a.title), `hidden: ${a.title}`);
    const calendar = page.locator('.ctable');
    assert.ok(await calendar.isVisible(), 'calendar shown');
    assert.match((await calendar.innerText()).replace(/\s/g, ''), /^<<\d{4}\/\d\d>>日月火水木金土.*\d{4}\/\d\d\/\d\d\([日月火水木金土]\)$/);
    for (const c of blog.categories) {
      const link = page.locator(`a[href="./velm.exe?demo+sv+${c.id}"]`);
      if (!c.shown) assert.equal(await link.count(), 0, `hidden category ${c.name}`);
      else {
        assert.ok(await link.isVisible(), c.name);
        assert.equal(await link.innerText(), `${c.name}(${ofCategory(c.id).length})`);
      }
    }
    assert.equal(await page.locator('a[href="./velm.exe?demo+dv"]').innerText(), `全ての記事(${blog.articles.length})`);
    await page.screenshot({ path: artifact('browse-top.png'), fullPage: true });
  });

  it('follows the older-page link', async () => {
    await open('demo');
    await follow(page.locator('a', { hasText: '前ぺージ' }));
    assert.deepEqual(await topics(), blog.articles.slice(5, 10).map((a) => a.title));
    assert.equal(await page.locator('a', { hasText: '最新ページ' }).count(), 1);
  });

  it('follows the read-more link to the single article', async () => {
    await open('demo');
    const first = blog.articles[0];
    await follow(page.locator('a', { hasText: '続きを読む' }).first());
    assert.ok(page.url().endsWith(`+sl+${first.id}`), page.url());
    assert.equal(await page.title(), `${first.title} - ${blog.title}`);
    assert.deepEqual(await topics(), [first.title]);
    const body = sjis(`velmsystem/demo/${first.id}.txt`).split('\r\n')[0];
    assert.ok((await page.innerText('.logcontent')).includes(body.replace(/<[^>]*>/g, '')));
  });

  it('opens a category', async () => {
    await open('demo');
    const chosen = blog.categories.find((c) => c.shown && ofCategory(c.id).length > 5);
    await follow(page.locator(`a[href="./velm.exe?demo+sv+${chosen.id}"]`));
    assert.deepEqual(await topics(), ofCategory(chosen.id).slice(0, 5).map((a) => a.title));
  });

  it('opens a day from the calendar of a month', async () => {
    const month = monthOf(blog.articles.find((a) => monthOf(a.date) !== monthOf(blog.articles[0].date)).date);
    await open(`demo+sv+${month}`);
    assert.ok((await page.innerText('.ctable')).includes(`${month.slice(0, 4)}/${month.slice(4)}`), 'calendar shows the month');
    const days = await page.$$eval('.ctable a', (as) => as.map((a) => a.getAttribute('href')).filter((h) => /\+sv\+\d{8}$/.test(h)));
    assert.ok(days.length > 0, 'days with articles are links');
    await follow(page.locator(`.ctable a[href="${days[0]}"]`));
    assert.deepEqual(await topics(), blog.articles.filter((a) => dayOf(a.date) === days[0].slice(-8)).map((a) => a.title));
  });

  it('produced no console errors and no failed requests', () => {
    assert.deepEqual(problems, []);
  });
});
