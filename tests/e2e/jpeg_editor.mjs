// The JPEG editor in Chromium through lighttpd: log in from the page header, upload a JPEG, turn
// it gray and a quarter to the right, download the result (checked with Pillow), and pick two
// corners in the trimming window.
//   node tests/e2e/jpeg_editor.mjs path/to/velm.exe
import { after, before, describe, it } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { artifact, launchBrowser, startSite, watchPage } from './site.mjs';

const velmExe = process.argv[2];
const check = path.join(path.dirname(new URL(import.meta.url).pathname), 'jpeg_check.py');
const [width, height] = [320, 200];
let site, browser, page;
let downloading = false;
const problems = [];
const at = (rel) => site.at(rel);
const url = (q) => site.url(q);

const follow = (locator) => Promise.all([page.waitForNavigation(), locator.click()]);
const button = (value) => page.locator(`input[type="submit"][value="${value}"]`);

describe('JPEG editor in the browser', () => {
  before(async () => {
    assert.ok(velmExe && fs.existsSync(velmExe), 'usage: node jpeg_editor.mjs velm.exe');
    site = await startSite(velmExe, [], { demo: false });
    execFileSync('/usr/bin/python3', [check, 'make', at('upload.jpg'), String(width), String(height)]);
    browser = await launchBrowser();
    page = await browser.newPage({ viewport: { width: 1100, height: 1000 }, acceptDownloads: true });
    // A download ends its navigation as aborted: the browser saves the answer instead.
    watchPage(page, problems, (req) => downloading && req.failure()?.errorText === 'net::ERR_ABORTED');
  });

  after(async () => {
    await browser?.close();
    site?.stop();
  });

  it('logs in and opens the editor from the menu', async () => {
    await page.goto(url('demo'));
    await page.fill('input[name="loginname"]', 'demo');
    await page.fill('input[name="loginpass"]', 'e2e-pass');
    await follow(button('管理ログイン'));
    await follow(button('Jpeg加工'));
    assert.ok(page.url().endsWith('+jm'), page.url());
    assert.equal(await page.locator('input[name="jpegimage"]').count(), 1);
    assert.equal(await page.locator('form[name="jpegedit"]').count(), 0, 'no edit form before an upload');
  });

  it('uploads a JPEG and turns it gray and a quarter to the right', async () => {
    await page.setInputFiles('input[name="jpegimage"]', at('upload.jpg'));
    await follow(button('加工するJpeg/BMP画像をアップロードする'));
    const working = page.locator('img[src*="/_jpegmod.jpg?"]');
    assert.equal(await working.getAttribute('alt'), `${width} / ${height}`);
    assert.equal(await working.evaluate((img) => img.naturalWidth), width, 'the working picture loads');
    assert.equal(await page.inputValue('input[name="trimming"]'), `0 0 ${width} ${height}`);

    // The aspect lock follows the width as it is typed.
    await page.fill('input[name="rwidth"]', '');
    await page.type('input[name="rwidth"]', '160');
    assert.equal(await page.inputValue('input[name="rheight"]'), String(height / 2));
    await page.fill('input[name="rwidth"]', String(width));
    await page.fill('input[name="rheight"]', String(height));

    await page.check('input[name="cchange"][value="mono"]');
    await page.check('input[name="rotate"][value="right"]');
    await follow(button('加工実行'));
    const result = page.locator('img[src*="/__jpegmod.jpg?"]');
    assert.equal(await result.getAttribute('alt'), `${height} / ${width}`);
    assert.deepEqual(await result.evaluate((img) => [img.naturalWidth, img.naturalHeight]), [height, width]);
    assert.ok(await page.isChecked('input[name="cchange"][value="mono"]'), 'the choice stays shown');
    assert.ok(await page.isChecked('input[name="rotate"][value="right"]'));
    await page.screenshot({ path: artifact('jpeg-editor.png'), fullPage: true });
  });

  it('downloads the result as a gray picture of swapped sides', async () => {
    downloading = true;
    const [download] = await Promise.all([page.waitForEvent('download'), button('ファイルダウンロード').click()]);
    await download.path();
    downloading = false;
    assert.equal(download.suggestedFilename(), '__jpegmod.jpg');
    const saved = at('download.jpg');
    await download.saveAs(saved);
    const out = execFileSync('/usr/bin/python3', [check, 'gray-turned', saved, String(width), String(height)], { encoding: 'utf8' });
    assert.match(out, /^ok: JPEG 200 x 320/);
  });

  it('picks two corners in the trimming window', async () => {
    const [popup] = await Promise.all([page.waitForEvent('popup'), page.locator('input[type="button"][value="範囲指定"]').click()]);
    await popup.waitForLoadState();
    assert.equal(await popup.title(), 'VELM トリミングウィンドウ');
    assert.equal(await popup.inputValue('input[name="posxy"]'), '左上をクリック');
    const mask = popup.locator('#clipmask');
    await mask.click({ position: { x: 12, y: 20 } });
    assert.equal(await popup.inputValue('input[name="posxy"]'), '12 20');
    await mask.click({ position: { x: 250, y: 150 } });
    assert.equal(await popup.inputValue('input[name="posxy"]'), '12 20 250 150');
    const box = await popup.locator('#clipbox').boundingBox();
    const maskBox = await mask.boundingBox();
    assert.deepEqual([box.x - maskBox.x, box.y - maskBox.y, box.width, box.height], [12, 20, 238, 130], 'the area is outlined');
    await popup.click('input[value="To Clip"]');
    assert.equal(await page.inputValue('input[name="trimming"]'), '12 20 250 150', 'the corners reach the editor');
    await popup.screenshot({ path: artifact('jpeg-trimming.png') });
    await popup.click('input[value="Clear"]');
    assert.equal(await popup.inputValue('input[name="posxy"]'), '左上をクリック');
    await popup.close();

    // The trimmed result: 238 x 130, and the size fields do not apply.
    await page.check('input[name="cchange"][value="none"]');
    await page.check('input[name="rotate"][value="none"]');
    await follow(button('加工実行'));
    assert.equal(await page.locator('img[src*="/__jpegmod.jpg?"]').getAttribute('alt'), '238 / 130');
  });

  it('produced no console errors and no failed requests', () => {
    assert.deepEqual(problems, []);
  });
});
