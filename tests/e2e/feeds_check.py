#!/usr/bin/python3
"""Feeds and trackbacks through a real lighttpd: feedparser and xmllint read the six feeds, a
category feed and an empty blog's feed; trackback pings are posted the way other blogs send them.

usage: feeds_check.py <velm.exe>
"""
import calendar
import hashlib
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

import feedparser

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SUCCESS = ('<?xml version="1.0" encoding="utf-8"?>\r\n<response>\r\n<error>0</error>\r\n'
           '<message>Trackback Success</message>\r\n</response>\r\n')
FAILURE = ('<?xml version="1.0" encoding="utf-8"?>\r\n<response>\r\n<error>1</error>\r\n'
           '<message>Trackback failed</message>\r\n</response>\r\n')

failures = 0


def check(name, ok, detail=''):
    global failures
    if ok:
        print('ok   ' + name)
    else:
        failures += 1
        print('FAIL ' + name + (': ' + str(detail) if detail else ''))


def write(path, text):
    """Data files are Shift_JIS with CR LF."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(text.replace('\n', '\r\n').encode('cp932'))


def record(*fields):
    return ','.join('"%s"' % f for f in fields) + '\n'


def article_id(stamp):
    return hashlib.sha1(stamp.encode('ascii')).hexdigest()


def jst(stamp):
    """Seconds since the epoch of a stored Japan-time stamp."""
    t = time.strptime(stamp, '%Y/%m/%d %H:%M:%S')
    return calendar.timegm(t) - 9 * 3600


ARTICLES = [  # category, creation stamp, title, body; oldest first as in the index
    ('c1', '2007/01/05 13:04:05', '富士山に登った', '朝早く出発しました。<b>頂上</b>は寒かった。\n二日目は雨でした。'),
    ('c2', '2007/02/10 08:00:00', '肉じゃがの作り方', 'じゃがいもと牛肉を煮ます。'),
    ('c1', '2007/03/15 23:59:59', '京都 & 奈良の旅', '寺を回りました。'),
]


def lay_out(root, port):
    os.makedirs(root + '/images/demo')
    os.makedirs(root + '/log')
    shutil.copy(sys.argv[1], root + '/velm.exe')
    write(root + '/velm.ini', 'CHARSET=shift_jis\nSYSTEMURL=http://127.0.0.1:%d/\n' % port)
    write(root + '/velmsystem/account.ini', record('demo', 'owner', 'secret') + record('empty', 'owner2', 'pw2'))
    acc = root + '/velmsystem/owner/'
    write(acc + 'title.txt', '日本語のブログ & テスト\n毎日の<b>記録</b>です\n')
    write(acc + 'style.txt', 'USETRACKBACK=1\nCONTENTVIEWCOUNT=10\n')
    write(acc + 'category.txt', record('c1', '旅行記', '1') + record('c2', '料理', '1'))
    write(acc + 'trackbackblock.txt', 'casino\n')
    index = ''
    for cat, stamp, title, body in ARTICLES:
        index += record(cat, article_id(stamp), stamp, stamp, title, '1')
        write(acc + article_id(stamp) + '.txt', body + '\n')
    write(acc + 'cindex.txt', index)
    # The empty blog's title holds markup with an attribute: every dialect stays well-formed.
    write(root + '/velmsystem/owner2/title.txt', '<font color="red">空</font> & ブログ\n')
    with open(REPO + '/deploy/lighttpd.conf.in') as f:
        conf = f.read().replace('@ROOT@', root).replace('@PORT@', str(port))
    with open(root + '/lighttpd.conf', 'w') as f:
        f.write(conf)


def get(url):
    with urllib.request.urlopen(url, timeout=20) as r:
        return r.status, r.headers.get('Content-Type'), r.read()


def ping(url, fields):
    """A TrackBack ping as other blogs send it: a POST of a UTF-8 url-encoded form."""
    data = urllib.parse.urlencode(fields, encoding='utf-8').encode('ascii')
    req = urllib.request.Request(url, data=data, headers={
        'Content-Type': 'application/x-www-form-urlencoded; charset=utf-8', 'User-Agent': 'feeds_check'})
    with urllib.request.urlopen(req, timeout=20) as r:
        return r.status, r.headers.get('Content-Type'), r.read().decode('utf-8')


def check_feeds(base, tmp):
    blog = base + 'velm.exe?demo'
    newest_first = list(reversed(ARTICLES))
    feeds = {'rss': 'short', 'rssl': 'long', 'rss20': 'short', 'rssl20': 'long', 'atom': 'short', 'atoml': 'long'}
    for command, form in feeds.items():
        status, ctype, body = get(blog + '+' + command)
        check(command + ' content type', status == 200 and ctype == 'application/xml', ctype)
        path = os.path.join(tmp, command + '.xml')
        with open(path, 'wb') as f:
            f.write(body)
        lint = subprocess.run(['xmllint', '--noout', path], capture_output=True, text=True)
        check(command + ' xmllint', lint.returncode == 0, lint.stderr)
        d = feedparser.parse(body)
        check(command + ' well-formed for feedparser', not d.bozo, d.get('bozo_exception'))
        check(command + ' blog title', d.feed.get('title') == '日本語のブログ & テスト', d.feed.get('title'))
        check(command + ' blog link', d.feed.get('link') == blog, d.feed.get('link'))
        titles = [e.get('title') for e in d.entries]
        check(command + ' article titles', titles == [a[2] for a in newest_first], titles)
        links = [e.get('link') for e in d.entries]
        check(command + ' article links', links == [blog + '+sl+' + article_id(a[1]) for a in newest_first], links)
        dates = [calendar.timegm(e.get('published_parsed') or e.get('updated_parsed')) for e in d.entries]
        check(command + ' article dates', dates == [jst(a[1]) for a in newest_first], dates)
        tags = [[t.term for t in e.get('tags', [])] for e in d.entries]
        check(command + ' categories', tags == [['旅行記'], ['料理'], ['旅行記']], tags)
        first = d.entries[2]
        text = first.get('summary') or first.get('description')
        whole = '朝早く出発しました。頂上は寒かった。二日目は雨でした。'
        want = whole if form == 'long' else whole.encode('cp932')[:40].decode('cp932') + '...'
        check(command + ' description', text == want, text)
        if command.startswith('atom'):
            check(command + ' feed date', calendar.timegm(d.feed.updated_parsed) == jst(ARTICLES[2][1]))

    # A category feed: only that category's articles under the whole blog's channel.
    status, _, body = get(blog + '+rssl20+c2')
    d = feedparser.parse(body)
    check('category feed', not d.bozo and [e.title for e in d.entries] == ['肉じゃがの作り方']
          and d.feed.title == '日本語のブログ & テスト', [e.get('title') for e in d.entries])

    # An empty blog: channel only, still a document every reader takes.
    for command, title in (('rss', '<font color="red">空</font> & ブログ'), ('rss20', '空 & ブログ'),
                           ('atoml', '空 & ブログ')):
        _, _, body = get(base + 'velm.exe?empty+' + command)
        path = os.path.join(tmp, 'empty-' + command + '.xml')
        with open(path, 'wb') as f:
            f.write(body)
        lint = subprocess.run(['xmllint', '--noout', path], capture_output=True, text=True)
        d = feedparser.parse(body)
        check('empty blog ' + command, lint.returncode == 0 and not d.bozo and d.entries == []
              and d.feed.get('title') == title, (lint.stderr, d.get('bozo_exception'), d.feed.get('title')))


def check_trackbacks(base):
    logid = article_id(ARTICLES[0][1])
    tb = base + 'velm.exe?demo+tb+' + logid
    tv = base + 'velm.exe?demo+tv+' + logid

    status, ctype, answer = ping(tb, {'title': 'お知らせ', 'excerpt': '富士山の記事を読みました。', 'url': 'http://127.0.0.1:9/entry/1',
                                      'blog_name': 'よそのブログ'})
    check('ping answered', status == 200 and answer == SUCCESS, answer)
    check('ping answer type', ctype == 'application/x-www-form-urlencoded; charset=utf-8', ctype)
    _, _, answer = ping(tb, {'title': '<script>alert(1)</script>', 'excerpt': 'x"y', 'url': 'javascript:alert(2)',
                             'blog_name': '<b>悪い</b>'})
    check('hostile ping stored', answer == SUCCESS, answer)
    _, _, answer = ping(tb, {'title': 'no url', 'blog_name': 'b'})
    check('ping without url fails', answer == FAILURE, answer)
    _, _, answer = ping(tb, {'title': 'Ca sino', 'url': 'http://127.0.0.1:9/2'})
    check('blocked ping fails', answer == FAILURE, answer)
    _, _, answer = ping(base + 'velm.exe?demo+tb+' + '0' * 40, {'url': 'http://127.0.0.1:9/3'})
    check('ping to a missing article fails', answer == FAILURE, answer)

    _, ctype, page = get(tv)
    page = page.decode('cp932')
    check('list shows the ping', '<a href="http://127.0.0.1:9/entry/1" target="' in page
          and '>よそのブログ</a></td><td style="color:black">お知らせ</td>' in page
          and '富士山の記事を読みました。' in page, page)
    check('list escapes strangers\' text', '<script>' not in page and '<b>' not in page
          and '&lt;script&gt;alert(1)&lt;/script&gt;' in page and '<td>&lt;b&gt;悪い&lt;/b&gt;</td>' in page
          and 'href="javascript:alert' not in page, page)
    check('only the two accepted pings are listed', page.count('<tr><td colspan="3" style="color:silver">') == 2, page)


def main():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        port = s.getsockname()[1]
    root = tempfile.mkdtemp(prefix='velm-feeds-')
    server = None
    try:
        lay_out(root, port)
        server = subprocess.Popen(['/usr/sbin/lighttpd', '-D', '-f', root + '/lighttpd.conf'])
        base = 'http://127.0.0.1:%d/' % port
        for _ in range(100):
            try:
                with socket.create_connection(('127.0.0.1', port), timeout=1):
                    break
            except OSError:
                time.sleep(0.05)
        check_feeds(base, root)
        check_trackbacks(base)
    finally:
        if server:
            server.terminate()
            server.wait(10)
        shutil.rmtree(root, ignore_errors=True)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
