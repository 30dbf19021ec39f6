// The owner designs the demo blog in Chromium through lighttpd: user colours, layout and colours,
// a title image, a category, a link with a banner, the profile and a gadget box; then the public
// top page shows each change. Screenshots of the settings page and of the changed blog go to
// tests/e2e/artifacts/.
//   node tests/e2e/design.mjs path/to/velm.exe
import { after, before, describe, it } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { artifact, launchBrowser, png, startSite, watchPage } from './site.mjs';

const velmExe = process.argv[2];
let site, browser, page;
const problems = [];

// A title image (a blue-green band) and a link banner (88 x 31, orange), drawn here.
const titleImage = png(800, 120, (x, y) => [30 + (x % 200), 120, 160 + (y % 60)]);
const banner = png(88, 31, (x) => [240, 140 + (x % 40), 20]);

const follow = (locator) => Promise.all([page.waitForNavigation(), locator.click()]);
const menu = (label) => follow(page.locator(`.navicell input[type="submit"][value="${label}"]`));
const settings = () => page.innerText('.settingcell');
const color = (selector, property) => page.$eval(selector, (e, p) => getComputedStyle(e)[p], property);

describe('the owner designs the blog', () => {
  before(async () => {
    assert.ok(velmExe && fs.existsSync(velmExe), 'usage: node design.mjs velm.exe');
    site = await startSite(velmExe, ['USELINKBANNER=ON', 'BANNERMAXSIZE=102400', 'USELINKSUPPORT=ON']);
    browser = await launchBrowser();
    page = await browser.newPage({ viewport: { width: 1100, height: 900 } });
    watchPage(page, problems);
  });

  after(async () => {
    await browser?.close();
    site?.stop();
  });

  it('logs in from the login box of the blog', async () => {
    await page.goto(site.url('demo'));
    await page.fill('input[name="loginname"]', 'demo');
    await page.fill('input[name="loginpass"]', 'e2e-pass');
    await follow(page.locator('input[type="submit"][value="管理ログイン"]'));
    assert.ok((await settings()).includes('表示・動作'), 'the start page');
  });

  it('adds two user colours', async () => {
    await menu('ユーザーカラー');
    await page.fill('input[name="colorname0"]', '空色');
    await page.fill('input[name="colorcode0"]', '#87ceeb');
    await page.fill('input[name="colorname1"]', '桜色');
    await page.fill('input[name="colorcode1"]', '#fde3e8');
    await follow(page.locator('input[type="submit"][value="上記の内容で登録します"]'));
    assert.ok((await settings()).includes('設定を保存しました'));
  });

  it('switches to a three-column layout with two new colours', async () => {
    await menu('表示・動作');
    // The user colours are offered in their own colour.
    assert.equal(await page.$eval('select[name="background"] option[value="#87ceeb"]', (o) => getComputedStyle(o).color), 'rgb(135, 206, 235)');
    await page.selectOption('select[name="background"]', '#87ceeb');
    await page.selectOption('select[name="menubackground"]', '#fde3e8');
    await page.check('input[name="layouttype"][value="5"]');
    await page.screenshot({ path: artifact('design-settings.png'), fullPage: true });
    await follow(page.locator('input[type="submit"][value="上記の内容で登録します"]'));
    const text = await settings();
    assert.ok(text.startsWith('タイトル\t') && text.includes('逆３列Ｂ'), text.slice(0, 200));
    const style = site.sjis('velmsystem/demo/style.txt');
    assert.match(style, /^BACKGROUND=#87ceeb\r\n/);
    assert.match(style, /\r\nMENUBACKGROUND=#fde3e8\r\n/);
    assert.match(style, /\r\nLAYOUTTYPE=5\r\n/);
    assert.match(style, /\r\nCONTENTTITLECOLOR=#2b4a6f\r\n/, 'colours not changed are kept');
  });

  it('uploads a title image', async () => {
    await menu('表示・動作');
    await page.setInputFiles('form[action$="+tu"] input[name="uploadimage"]', { name: 'title.png', mimeType: 'image/png', buffer: titleImage });
    await follow(page.locator('form[action$="+tu"] input[type="submit"]'));
    const shown = page.locator('img[alt="タイトル背景"]');
    assert.ok(await shown.isVisible());
    assert.equal(await shown.evaluate((img) => img.naturalWidth), 800);
    assert.deepEqual(fs.readFileSync(site.at('images/demo/titleimage.png')), titleImage);
  });

  it('adds a category', async () => {
    await menu('カテゴリの管理');
    await page.fill('input[name="newcategory"]', 'デザイン');
    await follow(page.locator('input[type="submit"][value="カテゴリ処理を行います"]'));
    assert.ok((await settings()).includes('デザイン カテゴリの追加を行いました'));
  });

  it('adds a link with a banner, its title fetched first', async () => {
    await menu('リンク');
    await page.fill('input[name="newurllink"]', site.url('demo+dv'));
    await follow(page.locator('input[type="button"][value="タイトル取得"]'));
    assert.equal(await page.inputValue('input[name="newurltitle"]'), site.sjis('velmsystem/demo/title.txt').split('\r\n')[0]);
    assert.equal(await page.inputValue('input[name="newurllink"]'), site.url('demo+dv'));
    await page.fill('input[name="newurltitle"]', 'デザインの参考');
    await page.fill('input[name="newurlcategory"]', 'design');
    await page.setInputFiles('input[name="linkbanner"]', { name: 'banner.png', mimeType: 'image/png', buffer: banner });
    await follow(page.locator('input[type="submit"][value="リンクを処理します"]'));
    assert.ok((await settings()).includes(`${site.url('demo+dv')} の追加を行いました`));
  });

  it('writes the profile and a gadget box', async () => {
    await menu('プロフィール');
    await page.fill('textarea[name="userprofile"]', 'デザインを変えました\n二行目です');
    await follow(page.locator('input[type="submit"][value="上記の内容に変更します"]'));
    assert.ok((await settings()).includes('プロフィールの保存を行いました'));
    await menu('ガジェットエリア');
    await page.fill('textarea[name="sidemenu1"]', '<b id="gadget">ガジェットの箱</b>');
    await follow(page.locator('input[type="submit"][value="上記の内容で登録します"]'));
    assert.ok((await settings()).includes('設定を保存しました'));
  });

  it('shows every change on the public top page', async () => {
    await page.goto(site.url('demo'));
    assert.equal(await color('body', 'backgroundColor'), 'rgb(135, 206, 235)');
    assert.equal(await color('.navicell', 'backgroundColor'), 'rgb(253, 227, 232)');
    // Layout 5: gadget area, menu, content.
    assert.deepEqual(await page.$$eval('table.largecell > tbody > tr > td', (tds) => tds.map((td) => td.className)),
      ['subcell', 'navicell', 'contentcell']);
    assert.match(await color('.titlecell', 'backgroundImage'), /\/images\/demo\/titleimage\.png"?\)$/);
    const category = page.locator('.navicell a', { hasText: 'デザイン(' });
    assert.equal(await category.innerText(), 'デザイン(0)');
    const link = page.locator(`.navicell a[href="${site.url('demo+dv')}"]`);
    assert.equal(await link.innerText(), 'デザインの参考');
    const menuText = await page.innerText('.navicell');
    assert.ok(menuText.includes('デザインを変えました\n二行目です'), menuText);
    assert.equal(await page.innerText('.subcell #gadget'), 'ガジェットの箱');
    await page.screenshot({ path: artifact('design-top.png'), fullPage: true });

    // The link page of the link's category shows its banner.
    await page.goto(site.url('demo+ul+design'));
    const img = page.locator('.contentcell a img');
    assert.equal(await img.getAttribute('alt'), 'デザインの参考');
    assert.equal(await img.evaluate((e) => e.naturalWidth), 88);
  });

  it('composes an anchor in the link support pop-up', async () => {
    await page.goto(site.url('demo+ls'));
    await page.fill('#v1', 'http://example.jp/');
    await page.fill('#v2', '例のページ');
    await page.click('input[value="結合"]');
    assert.equal(await page.inputValue('#anchor'), '<a href="http://example.jp/" target="_blank">例のページ</a>');
  });

  it('produced no console errors and no failed requests', () => {
    assert.deepEqual(problems, []);
  });
});
