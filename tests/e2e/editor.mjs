// The owner runs the blog from Chromium through lighttpd: logs in from the blog's login box,
// writes a Japanese article with an uploaded picture put in by the insert button, edits it while
// trading that picture for another, approves one waiting comment and deletes another, and deletes
// the article again. Leaves a screenshot of the editor.
//   node tests/e2e/editor.mjs path/to/velm.exe
import { after, before, describe, it } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

const velmExe = process.argv[2];
const here = path.dirname(new URL(import.meta.url).pathname);
const repo = path.resolve(here, '../..');
let root, port, server, browser, page, articleId;
const problems = [];
const at = (rel) => path.join(root, rel);
const url = (q) => `http://127.0.0.1:${port}/velm.exe?${q}`;
const sjis = (text) => execFileSync('iconv', ['-f', 'UTF-8', '-t', 'CP932'], { input: text });
const readSjis = (rel) => new TextDecoder('shift_jis').decode(fs.readFileSync(at(rel)));
const records = (text) => text.split('\r\n').filter((l) => l !== '').map((l) => [...l.matchAll(/"([^"]*)"/g)].map((m) => m[1]));
const follow = (locator) => Promise.all([page.waitForNavigation(), locator.click()]);
const subject = '春の散歩';
const changed = '春の散歩（写真つき）';
const body = '今日は公園を歩きました。\n桜がきれいでした。';
const comment = '素敵な写真ですね';

async function startSite() {
  root = fs.mkdtempSync(path.join(os.tmpdir(), 'velm-editor-'));
  port = await new Promise((resolve) => {
    const srv = net.createServer().listen(0, '127.0.0.1', () => { const p = srv.address().port; srv.close(() => resolve(p)); });
  });
  for (const d of ['images/demo', 'template', 'log', 'velmsystem/demo']) fs.mkdirSync(at(d), { recursive: true });
  fs.copyFileSync(velmExe, at('velm.exe'));
  fs.chmodSync(at('velm.exe'), 0o755);
  const ini = fs.readFileSync(path.join(repo, 'deploy/velm.ini'), 'latin1').replace(/^SYSTEMURL=.*$/m, `SYSTEMURL=http://127.0.0.1:${port}/`);
  fs.writeFileSync(at('velm.ini'), (ini + 'USEEDITDATE=ON\n').replace(/\r?\n/g, '\r\n'), 'latin1');
  fs.writeFileSync(at('velmsystem/account.ini'), '"demo","demo","e2e-pass"\r\n');
  fs.writeFileSync(at('velmsystem/demo/category.txt'), sjis('"c0000000000001","日記","1"\r\n'));
  fs.writeFileSync(at('velmsystem/demo/title.txt'), sjis('散歩日記\r\n'));
  fs.writeFileSync(at('velmsystem/demo/style.txt'), 'USECOMMENT=1\r\n');
  const conf = fs.readFileSync(path.join(repo, 'deploy/lighttpd.conf.in'), 'utf8').replaceAll('@ROOT@', root).replaceAll('@PORT@', String(port));
  fs.writeFileSync(at('lighttpd.conf'), conf);
  server = spawn('/usr/sbin/lighttpd', ['-D', '-f', at('lighttpd.conf')], { stdio: 'inherit' });
  for (let tries = 0; !(await fetch(`http://127.0.0.1:${port}/log/`).then(() => true, () => false)); tries += 1) {
    if (tries > 100) throw new Error(`lighttpd did not listen on ${port}`);
    await new Promise((r) => setTimeout(r, 100));
  }
}

// A real JPEG made by the demo's own writer, kept with the temporary site (removed with it).
function photo(name = 'photo.jpg', width = 160, height = 120) {
  const file = path.join(root, 'upload', name);
  fs.mkdirSync(path.dirname(file), { recursive: true });
  execFileSync('/usr/bin/python3', ['-c', `import sys; sys.path.insert(0, ${JSON.stringify(path.join(repo, 'deploy/demo'))}); import images
open(sys.argv[1], 'wb').write(images.jpeg_bytes(${width}, ${height}, lambda x, y: (x, y * 2 % 256, 128)))`, file]);
  return file;
}
const bodyText = async () => (await page.inputValue('textarea[name=ucontent]')).replaceAll('\r\n', '\n');
const loaded = (locator) => locator.evaluate((img) => img.complete && img.naturalWidth);

describe('the owner writes from the browser', () => {
  before(async () => {
    assert.ok(velmExe && fs.existsSync(velmExe), 'usage: node editor.mjs velm.exe');
    await startSite();
    browser = await chromium.launch({ executablePath: '/usr/bin/chromium', headless: true, args: ['--headless', '--no-sandbox',
      '--disable-gpu', '--disable-background-networking', '--disable-quic', '--no-first-run', '--disable-component-update', '--disable-sync'] });
    page = await browser.newPage({ viewport: { width: 1100, height: 1000 } });
    page.on('console', (msg) => {
      if (msg.type() === 'error' && !msg.location().url.endsWith('/favicon.ico')) problems.push(`console: ${msg.text()} (${page.url()})`);
    });
    page.on('pageerror', (err) => problems.push(`script: ${err.message} (${page.url()})`));
    page.on('requestfailed', (req) => problems.push(`failed: ${req.url()}`));
    page.on('response', (res) => { if (res.status() >= 400 && !res.url().endsWith('/favicon.ico')) problems.push(`${res.status()}: ${res.url()}`); });
  });

  after(async () => {
    await browser?.close();
    server?.kill('SIGTERM');
    if (root) fs.rmSync(root, { recursive: true, force: true });
  });

  it('logs in from the login box of the blog', async () => {
    await page.goto(url('demo'));
    await page.fill('input[name=loginname]', 'demo');
    await page.fill('input[name=loginpass]', 'e2e-pass');
    await follow(page.locator('input[value="管理ログイン"]'));
    assert.ok((await page.innerText('.settingcell')).includes('記事の作成を行います'));
  });

  it('writes an article with an uploaded picture put in by the insert button', async () => {
    await follow(page.locator('input[value="記事の作成"]'));
    await page.fill('input[name=subject]', subject);
    await page.fill('textarea[name=ucontent]', body);
    await page.click('input[value="現在の日付時刻"]');
    assert.match(await page.inputValue('input[name=cdate]'), /^\d{4}\/\d\d\/\d\d \d\d:\d\d:\d\d$/);
    // The upload keeps the work in progress.
    await page.setInputFiles('input[name=uploadimage]', photo());
    await follow(page.locator('input[value="アップロード画像"]'));
    assert.equal(await page.inputValue('input[name=subject]'), subject);
    assert.equal((await page.inputValue('textarea[name=ucontent]')).replaceAll('\r\n', '\n'), body);
    const preview = page.locator('img[width="120"]');
    assert.ok(await preview.evaluate((img) => img.complete && img.naturalWidth === 160), 'the preview shows the upload');
    // The tag goes in at the cursor.
    await page.locator('textarea[name=ucontent]').evaluate((t) => { t.focus(); t.setSelectionRange(7, 7); });
    await page.selectOption('#ialign1', '<BIMAGE src=1 align=center>');
    await page.click('input[value="挿入"]');
    const text = (await page.inputValue('textarea[name=ucontent]')).replaceAll('\r\n', '\n');
    assert.equal(text, body.slice(0, 7) + '<BIMAGE src=1 align=center>' + body.slice(7));
    fs.mkdirSync(path.join(here, 'artifacts'), { recursive: true });
    await page.screenshot({ path: path.join(here, 'artifacts/editor.png'), fullPage: true });
    await follow(page.locator('input[value="上記の内容で登録します"]'));
    assert.ok((await page.innerText('.settingcell')).includes('記事を新規保存しました'));
    const index = records(readSjis('velmsystem/demo/cindex.txt'));
    assert.equal(index.length, 1);
    articleId = index[0][1];
    assert.equal(index[0][4], subject);
  });

  it('shows the article with its picture on the top page', async () => {
    await page.goto(url('demo'));
    assert.deepEqual(await page.locator('.logtopic').allInnerTexts(), [subject]);
    const img = page.locator(`img[src="./images/demo/${articleId}-1.jpg"]`);
    assert.ok(await img.evaluate((i) => i.complete && i.naturalWidth === 160), 'the picture loads');
    assert.ok((await page.innerText('.logcontent')).includes('桜がきれいでした。'));
  });

  it('edits the article from the article list, trading its picture for a new one', async () => {
    await page.goto(url('demo+wc'));  // the cookies of the login still hold
    await follow(page.locator('input[value="記事の修正"]'));
    await page.selectOption('select[name=smonth]', '99');
    await follow(page.locator('input[value="記事一覧を表示する"]'));
    await follow(page.locator(`a[href="./velm.exe?demo+ec+${articleId}"]`));
    assert.equal(await page.inputValue('input[name=subject]'), subject);
    const stored = await bodyText();
    assert.ok(stored.includes('<BIMAGE src=1 align=center>'));
    // A second picture uploaded while the edit is under way: the changed text survives.
    const edited = stored.trimEnd().replace('桜', '満開の桜');
    await page.fill('input[name=subject]', changed);
    await page.fill('textarea[name=ucontent]', edited);
    await page.setInputFiles('input[name=uploadimage]', photo('second.jpg', 200, 100));
    await follow(page.locator('input[value="アップロード"]'));
    assert.equal(await page.inputValue('input[name=subject]'), changed);
    assert.equal(await bodyText(), edited);
    assert.equal(await loaded(page.locator('img[alt=""][width="120"]')), 160, 'the saved picture is number 1');
    assert.equal(await loaded(page.locator('img:not([alt])[width="120"]')), 200, 'the new one is number 2');
    assert.equal(await page.locator('#ialign2').count(), 1);
    // The saved picture goes by its delete button; the text survives that too.
    await page.fill('input[name=subject]', `${changed}!`);
    await follow(page.locator(`form[action="./velm.exe?demo+du+${articleId}"] input[value="削除"]`));
    assert.equal(await page.inputValue('input[name=subject]'), `${changed}!`);
    assert.equal(await bodyText(), edited);
    assert.ok(!fs.existsSync(at(`images/demo/${articleId}-1.jpg`)) && !fs.existsSync(at(`velmsystem/demo/${articleId}.iix`)));
    assert.equal(await loaded(page.locator('img[width="120"]')), 200, 'the new picture moved up to number 1');
    await page.fill('input[name=subject]', changed);
    await follow(page.locator('input[value="上記の内容に変更します"]'));
    assert.ok((await page.innerText('.settingcell')).includes('記事を修正保存しました'));
    assert.equal((await bodyText()).trimEnd(), edited);
    assert.deepEqual(readSjis(`velmsystem/demo/${articleId}.iix`).split('\r\n'), [`${articleId}-1.jpg`, '']);
    assert.ok(!fs.existsSync(at('velmsystem/demo/workatt.txt')));
    await page.goto(url('demo'));
    assert.deepEqual(await page.locator('.logtopic').allInnerTexts(), [changed]);
    assert.ok((await page.innerText('.logcontent')).includes('満開の桜'));
    // The picture keeps its address (the browser may show the old one from its cache, as the
    // edit page warns); the file behind it is the new upload.
    assert.ok(await loaded(page.locator(`img[src="./images/demo/${articleId}-1.jpg"]`)), 'the picture is shown');
    assert.ok(fs.readFileSync(at(`images/demo/${articleId}-1.jpg`)).equals(fs.readFileSync(photo('second.jpg', 200, 100))));
    assert.deepEqual(fs.readdirSync(at('images/demo')), [`${articleId}-1.jpg`]);
  });

  it('approves a waiting comment and deletes another from the edit page', async () => {
    const spam = '宣伝です';
    fs.writeFileSync(at('velmsystem/demo/comment.txt'),
      sjis(`"c0000000000001","${articleId}","k0000000000001","2026/12/01 10:00:00","読者","${comment}<br>","1","127.0.0.1"\r\n`
        + `"c0000000000001","${articleId}","k0000000000002","2026/12/01 11:00:00","業者","${spam}<br>","0","127.0.0.2"\r\n`));
    await page.goto(url(`demo+sl+${articleId}`));
    assert.ok(!(await page.innerText('body')).includes(comment), 'waiting comments are not shown');
    assert.ok((await page.innerText('body')).includes(spam));
    await page.goto(url(`demo+ec+${articleId}`));
    await page.selectOption('select[name=viewcommentid]', 'k0000000000001');
    await follow(page.locator('input[value="このコメントを公開する"]'));
    assert.equal(await page.locator('select[name=viewcommentid]').count(), 0);
    assert.equal(await page.inputValue('input[name=subject]'), changed, 'back on the edit page of the article');
    await page.selectOption('select[name=delcommentid]', 'k0000000000002');
    await follow(page.locator('input[value="このコメントを削除する"]'));
    assert.deepEqual(await page.locator('select[name=delcommentid] option').evaluateAll((o) => o.map((e) => e.value)), ['k0000000000001']);
    await page.goto(url(`demo+sl+${articleId}`));
    const shown = await page.innerText('body');
    assert.ok(shown.includes(comment), 'the approved comment is under the article');
    assert.ok(!shown.includes(spam), 'the deleted comment is gone');
  });

  it('deletes the article with its picture', async () => {
    await page.goto(url(`demo+ec+${articleId}`));
    await follow(page.locator('input[value="この記事を削除する"]'));
    assert.ok((await page.innerText('.settingcell')).includes('記事を削除しました'));
    await page.goto(url('demo'));
    assert.equal(await page.locator('.logtopic').count(), 0);
    assert.ok(!(await page.innerText('body')).includes(changed));
    assert.deepEqual(fs.readdirSync(at('images/demo')), []);
    assert.ok(!fs.existsSync(at(`velmsystem/demo/${articleId}.txt`)) && !fs.existsSync(at('velmsystem/demo/comment.txt')));
  });

  it('builds an address rule and unfolds the macro help', async () => {
    await page.goto(url('demo+cb'));
    await page.selectOption('select[name=fdone]', 'PASS');
    await page.selectOption('select[name=ftype]', 'IPR');
    await page.fill('input[name=data1]', '10.0.0.1');
    await page.fill('input[name=data2]', '10.0.0.9');
    await page.click('input[value="フィルタを作成"]');
    assert.equal(await page.inputValue('input[name=filter]'), '"PASS","IPR","10.0.0.1","10.0.0.9"');
    await page.goto(url('demo+cm'));
    assert.ok(!(await page.locator('#macrohelp').isVisible()));
    await page.click('text=マクロ説明');
    assert.ok(await page.locator('#macrohelp').isVisible());
    assert.ok((await page.innerText('#macrohelp')).includes('<CALENDAR>'));
  });

  it('produced no console errors and no failed requests', () => {
    assert.deepEqual(problems, []);
  });
});
