#!/usr/bin/python3
# Comments through a real lighttpd: the picture code image from the installed executable (fonts
# found through fontconfig), 200 posts sent 20 at a time, each with its own picture code, and the
# owner's notice mail received by aiosmtpd (and a mail server that never answers).
#   usage: comments_check.py <velm.exe>
import concurrent.futures
import email
import email.policy
import hashlib
import io
import os
import random
import re
import signal
import socket
import subprocess
import sys
import time
import urllib.parse
import urllib.request

from aiosmtpd.controller import Controller
from PIL import Image

from webserver import Site, free_port, write_text

STAMP = '2026/11/01 10:00:00'
ARTICLE = hashlib.sha1(STAMP.encode('ascii')).hexdigest()
ACC = 'velmsystem/owner/'
failures = 0


def check(name, got, want):
    global failures
    failures += got != want
    print(('ok   ' + name) if got == want else 'FAIL %s: got %r want %r' % (name, got, want))


def records(path):
    """The fields of each line of a record file (quoted fields, doubled quotes)."""
    if not os.path.exists(path):
        return []
    with open(path, 'rb') as f:
        lines = f.read().decode('cp932').split('\r\n')
    return [[m[0].replace('""', '"') if m[0] or not m[1] else m[1]
             for m in re.findall(r'"((?:[^"]|"")*)"|([^",\s]+)', line)] for line in lines if line]


def lay_out(root):
    files = {
        ACC + 'style.txt': 'USECOMMENT=1\nUSEKEYIMAGE=1\n',
        ACC + 'category.txt': '"c1","日記","1"\n',
        ACC + 'cindex.txt': '"c1","%s","%s","%s","記事","1"\n' % (ARTICLE, STAMP, STAMP),
        ACC + ARTICLE + '.txt': '本文です。\n',
    }
    for rel, text in files.items():
        write_text(os.path.join(root, rel), text)


def get(url):
    with urllib.request.urlopen(url, timeout=30) as r:
        return r.status, r.headers.get('Content-Type'), r.read()


def post(url, fields):
    data = urllib.parse.urlencode(fields, encoding='cp932').encode('ascii')
    with urllib.request.urlopen(urllib.request.Request(url, data=data), timeout=30) as r:
        return r.read().decode('cp932')


def issued_form(blog):
    """A single-article page: the picture code id its form carries."""
    page = get(blog + '+sl+' + ARTICLE)[2].decode('cp932')
    found = re.search(r'<img src="\./velm\.exe\?demo\+keyimage\+(\w{32})" alt="Comment key"><input type="hidden" '
                      r'name="checkid" value="(\w{32})">', page)
    return found.group(2) if found and found.group(1) == found.group(2) else None


def check_picture(blog, root):
    key = issued_form(blog)
    codes = {r[2]: r[3] for r in records(root + '/' + ACC + 'keylist.txt')}
    status, kind, body = get(blog + '+keyimage+' + key)
    picture = Image.open(io.BytesIO(body))
    check('picture answered as JPEG', (status, kind, picture.format), (200, 'image/jpeg', 'JPEG'))
    width, height = picture.size
    check('picture size from the glyphs', (28 < height < 50, 5 * 30 < width < 5 * 60), (True, True))
    rgb = picture.convert('RGB')
    blue = sum(1 for x in range(width) for y in range(height)
               if (lambda p: p[2] > 150 and p[0] < 120 and p[1] < 120)(rgb.getpixel((x, y))))
    # The frame's colour: the mean of the outer ring (one pixel is off by up to 54 after JPEG's blur).
    ring = [rgb.getpixel((x, y)) for x in range(width) for y in (0, height - 1)] + \
        [rgb.getpixel((x, y)) for y in range(height) for x in (0, width - 1)]
    corner = tuple(sum(p[i] for p in ring) // len(ring) for i in range(3))
    check('blue text in a #7F9DB9 frame', (blue > 30, all(abs(a - b) < 40 for a, b in zip(corner, (0x7F, 0x9D, 0xB9)))),
          (True, True))
    check('the code is still listed after its picture', key in codes, True)
    status, kind, body = get(blog + '+keyimage+neverissued')
    check('an id never issued still gets a picture', (status, kind, Image.open(io.BytesIO(body)).format),
          (200, 'image/jpeg', 'JPEG'))


def check_concurrent_posts(blog, root):
    keylist, comments = root + '/' + ACC + 'keylist.txt', root + '/' + ACC + 'comment.txt'
    if os.path.exists(keylist):
        os.remove(keylist)
    with concurrent.futures.ThreadPoolExecutor(20) as pool:
        ids = list(pool.map(lambda _: issued_form(blog), range(200)))
    codes = {r[2]: r[3] for r in records(keylist)}
    check('200 codes issued, each listed once', (len(set(ids)), len(codes), all(i in codes for i in ids)), (200, 200, True))

    def send(n):
        key = ids[n]
        return post(blog + '+sm+' + ARTICLE, {'checkid': key, 'category': 'c1', 'commentname': '読者%d' % n,
                                              'checkkey': codes[key], 'comment': 'コメント%d\n二行目, "引用"' % n})
    start = time.time()
    with concurrent.futures.ThreadPoolExecutor(20) as pool:
        answers = list(pool.map(send, range(200)))
    print('     200 posts, 20 at a time: %.2f s' % (time.time() - start))
    check('every post answered', sum('コメントを行いました' in a for a in answers), 200)
    stored = records(comments)
    check('200 comments stored, every line eight fields', (len(stored), {len(r) for r in stored}), (200, {8}))
    check('every poster once', sorted(r[4] for r in stored), sorted('読者%d' % n for n in range(200)))
    check('texts escaped and broken into <br>', {r[5] for r in stored if r[4] == '読者7'},
          {'コメント7<br>二行目, &quot;引用&quot;<br>'})
    check('comment ids unique', len({r[2] for r in stored}), 200)
    check('every code used up', records(keylist), [])
    again = post(blog + '+sm+' + ARTICLE, {'checkid': ids[0], 'category': 'c1', 'commentname': 'x',
                                           'checkkey': codes[ids[0]], 'comment': 'again'})
    check('a used code is refused', 'コメントキーが間違っています' in again, True)
    check('the article shows its comments', get(blog + '+sl+' + ARTICLE)[2].decode('cp932').count('投稿者 : 読者'), 200)


def check_killed_posts(blog, root):
    """Posts run as processes of their own, some killed at random: the files stay whole records and
    every answered post is stored, its code used up."""
    keylist, comments = root + '/' + ACC + 'keylist.txt', root + '/' + ACC + 'comment.txt'
    write_text(os.path.join(root, ACC + 'style.txt'), 'USECOMMENT=1\nUSEKEYIMAGE=1\n')
    with concurrent.futures.ThreadPoolExecutor(20) as pool:
        ids = list(pool.map(lambda _: issued_form(blog), range(120)))
    codes = {r[2]: r[3] for r in records(keylist)}
    before = len(records(comments))
    rng = random.Random(5)
    answered, killed = [], 0
    for batch in range(0, len(ids), 20):
        procs = []
        for n in range(batch, batch + 20):
            body = urllib.parse.urlencode({'checkid': ids[n], 'category': 'c1', 'commentname': 'k%d' % n,
                                           'checkkey': codes[ids[n]], 'comment': 'killed or not %d' % n}).encode()
            env = {'SERVER_PROTOCOL': 'HTTP/1.1', 'REQUEST_METHOD': 'POST', 'QUERY_STRING': 'demo+sm+' + ARTICLE,
                   'CONTENT_LENGTH': str(len(body)), 'CONTENT_TYPE': 'application/x-www-form-urlencoded',
                   'REMOTE_ADDR': '127.0.0.1', 'TZ': 'Asia/Tokyo'}
            p = subprocess.Popen([root + '/velm.exe'], cwd=root, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
            p.stdin.write(body)
            p.stdin.close()
            procs.append((n, p))
            if rng.random() < 0.4:  # somewhere in its run, or before it has begun
                time.sleep(rng.uniform(0, 0.004))
                if p.poll() is None:
                    p.send_signal(signal.SIGKILL)
                    killed += 1
        for n, p in procs:
            out = p.stdout.read()
            if p.wait() == 0 and 'コメントを行いました'.encode('cp932') in out:
                answered.append(n)
    stored, left = records(comments), records(keylist)
    names = [r[4] for r in stored[before:]]
    print('     %d posts killed, %d answered' % (killed, len(answered)))
    check('killed posts: every comment line eight fields, every key line four',
          ({len(r) for r in stored}, {len(r) for r in left} <= {4}), ({8}, True))
    check('killed posts: every answered post stored once', [n for n in answered if names.count('k%d' % n) != 1], [])
    listed = {r[2] for r in left}
    check('killed posts: the code of every stored comment is used up, killed or not',
          [n for n in range(len(ids)) if 'k%d' % n in names and ids[n] in listed], [])


class Mailbox:
    def __init__(self):
        self.messages = []

    async def handle_DATA(self, server, session, envelope):
        self.messages.append((envelope.mail_from, list(envelope.rcpt_tos), envelope.original_content))
        return '250 OK'


def wait_for(condition, seconds):
    end = time.time() + seconds
    while not condition() and time.time() < end:
        time.sleep(0.05)
    return condition()


def check_notice(blog, root, port):
    box, mport = Mailbox(), free_port()
    ini = 'velm.ini'
    base = 'CHARSET=shift_jis\nSYSTEMURL=http://127.0.0.1:%d/\nCOMMENTDEFAULTNAME=名無し\nMAILTIMEOUT=4\n' % port
    write_text(os.path.join(root, ini), base + 'SMTPSERVER=127.0.0.1:%d\nSMTPFROM=velm@example.jp\n' % mport)
    write_text(os.path.join(root, ACC + 'style.txt'), 'USECOMMENT=1\nUSEREMAIL=owner@example.jp\n')
    write_text(os.path.join(root, ACC + 'commentblock.txt'), 'spamword\n')
    fields = {'category': 'c1', 'commentname': '<b>花子</b> & "x"', 'comment': '通知のテスト'}
    mail = Controller(box, hostname='127.0.0.1', port=mport)
    mail.start()
    try:
        check('notice: post answered', 'コメントを行いました' in post(blog + '+sm+' + ARTICLE, fields), True)
        check('notice: one mail arrives', wait_for(lambda: len(box.messages) == 1, 10), True)
        # Neither a blocked nor an empty comment, nor a wrong code, is told to the owner.
        post(blog + '+sm+' + ARTICLE, dict(fields, comment='buy SPAM WORD'))
        post(blog + '+sm+' + ARTICLE, dict(fields, comment=''))
        write_text(os.path.join(root, ACC + 'style.txt'), 'USECOMMENT=1\nUSEREMAIL=owner@example.jp\nUSEKEYIMAGE=1\n')
        post(blog + '+sm+' + ARTICLE, dict(fields, checkid='x' * 32, checkkey='AAAAA'))
        time.sleep(1)
        check('notice: only stored comments are told', len(box.messages), 1)
    finally:
        mail.stop()
    frm, to, raw = box.messages[0]
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    check('notice: envelope', (frm, to), ('velm@example.jp', ['owner@example.jp']))
    check('notice: headers', (str(msg['From']), str(msg['To']), str(msg['Reply-to']), str(msg['Subject']),
                              msg.get_content_charset()),
          ('VELM SYSTEM <velm@example.jp>', 'owner@example.jp', 'owner@example.jp', 'VELM SYSTEM', 'iso-2022-jp'))
    body = ('\r\n下記の記事にコメントが行われました\r\n投稿者 : 花子 & &quot;x&quot;\r\n\r\n'
            'http://127.0.0.1:%d/velm.exe?demo+sl+%s' % (port, ARTICLE)).encode('iso-2022-jp')
    check('notice: ISO-2022-JP body with the escaped name and the article link, no comment text',
          raw.split(b'\r\n\r\n', 1)[1].rstrip(b'\r\n'), body.rstrip(b'\r\n'))

    # A mail server that takes the connection and never answers, and one that refuses it: the post
    # is stored and answered, at the latest when the mail gives up at its deadline (4 s here).
    silent = socket.socket()
    silent.bind(('127.0.0.1', 0))
    silent.listen(8)
    closed = free_port()
    write_text(os.path.join(root, ACC + 'style.txt'), 'USECOMMENT=1\nUSEREMAIL=owner@example.jp\n')
    try:
        for name, server_port in (('silent', silent.getsockname()[1]), ('refusing', closed)):
            write_text(os.path.join(root, ini), base + 'SMTPSERVER=127.0.0.1:%d\nSMTPFROM=velm@example.jp\n' % server_port)
            before = len(records(os.path.join(root, ACC + 'comment.txt')))
            started = time.time()
            answer = post(blog + '+sm+' + ARTICLE, dict(fields, comment='サーバーが%s' % name))
            took = time.time() - started
            check('%s mail server: answered in %.2f s, stored' % (name, took),
                  ('コメントを行いました' in answer, took < (6 if name == 'silent' else 2),
                   len(records(os.path.join(root, ACC + 'comment.txt')))), (True, True, before + 1))
    finally:
        silent.close()


def main():
    with Site(sys.argv[1], 'lighttpd', ini='COMMENTDEFAULTNAME=名無し\r\n') as site:
        lay_out(site.root)
        blog = site.url + 'velm.exe?demo'
        check_picture(blog, site.root)
        check_concurrent_posts(blog, site.root)
        check_killed_posts(blog, site.root)
        check_notice(blog, site.root, site.port)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
