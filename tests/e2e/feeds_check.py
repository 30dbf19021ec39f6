#!/usr/bin/python3
# Feeds and trackbacks through a real lighttpd: feedparser and xmllint read the six feeds, a
# category feed and an empty blog's feed; trackback pings are posted the way other blogs send them.
#   usage: feeds_check.py <velm.exe>
import calendar
import hashlib
import os
import subprocess
import sys
import time
import urllib.parse
import urllib.request

import feedparser

from webserver import Site, write_text

ANSWER = ('<?xml version="1.0" encoding="utf-8"?>\r\n<response>\r\n<error>0</error>\r\n'
          '<message>Trackback Success</message>\r\n</response>\r\n')
ARTICLES = [  # category, creation stamp, title, body; oldest first as in the index
    ('c1', '2007/01/05 13:04:05', '富士山に登った', '朝早く出発しました。<b>頂上</b>は寒かった。\n二日目は雨でした。'),
    ('c2', '2007/02/10 08:00:00', '肉じゃがの作り方', 'じゃがいもと牛肉を煮ます。'),
    ('c1', '2007/03/15 23:59:59', '京都 & 奈良の旅', '寺を回りました。'),
]
TITLE = '日本語のブログ & テスト'
READABLE = ((200, 'application/xml'), None, None)  # status and type, xmllint's and feedparser's complaints
failures = 0


def check(name, got, want):
    global failures
    failures += got != want
    print(('ok   ' + name) if got == want else 'FAIL %s: got %r want %r' % (name, got, want))


def record(*fields):
    return ','.join('"%s"' % f for f in fields) + '\n'


def article_id(stamp):
    return hashlib.sha1(stamp.encode('ascii')).hexdigest()


def lay_out(root):
    acc = 'velmsystem/owner/'
    files = {
        'velmsystem/account.ini': record('demo', 'owner', 'secret') + record('empty', 'owner2', 'pw2'),
        acc + 'title.txt': TITLE + '\n毎日の<b>記録</b>です\n',
        acc + 'style.txt': 'USETRACKBACK=1\nCONTENTVIEWCOUNT=10\n',
        acc + 'category.txt': record('c1', '旅行記', '1') + record('c2', '料理', '1'),
        acc + 'cindex.txt': ''.join(record(c, article_id(s), s, s, t, '1') for c, s, t, _ in ARTICLES),
        # The empty blog's title holds markup with an attribute: every dialect stays well-formed.
        'velmsystem/owner2/title.txt': '<font color="red">空</font> & ブログ\n',
    }
    files.update({acc + article_id(stamp) + '.txt': body + '\n' for _, stamp, _, body in ARTICLES})
    for rel, text in files.items():
        write_text(os.path.join(root, rel), text)


def read_feed(url, path):
    with urllib.request.urlopen(url, timeout=20) as r:
        body, head = r.read(), (r.status, r.headers.get('Content-Type'))
    with open(path, 'wb') as f:
        f.write(body)
    lint = subprocess.run(['xmllint', '--noout', path], capture_output=True, text=True)
    d = feedparser.parse(body)
    return d, (head, lint.stderr if lint.returncode else None, d.get('bozo_exception'))


def check_feeds(base, tmp):
    blog = base + 'velm.exe?demo'
    jst = lambda stamp: calendar.timegm(time.strptime(stamp, '%Y/%m/%d %H:%M:%S')) - 9 * 3600
    whole = '朝早く出発しました。頂上は寒かった。二日目は雨でした。'
    for command in ('rss', 'rssl', 'rss20', 'rssl20', 'atom', 'atoml'):
        d, state = read_feed(blog + '+' + command, os.path.join(tmp, command + '.xml'))
        check(command + ' read', state, READABLE)
        check(command + ' channel', (d.feed.get('title'), d.feed.get('link')), (TITLE, blog))
        check(command + ' articles', [(e.get('title'), e.get('link'), [t.term for t in e.get('tags', [])],
                                       calendar.timegm(e.get('published_parsed') or e.get('updated_parsed')))
                                      for e in d.entries],
              [(t, blog + '+sl+' + article_id(s), [{'c1': '旅行記', 'c2': '料理'}[c]], jst(s))
               for c, s, t, _ in reversed(ARTICLES)])
        first = d.entries[2]
        check(command + ' description', first.get('summary') or first.get('description'),
              whole if command in ('rssl', 'rssl20', 'atoml') else whole.encode('cp932')[:40].decode('cp932') + '...')
        if command.startswith('atom'):
            check(command + ' feed date', calendar.timegm(d.feed.updated_parsed), jst(ARTICLES[2][1]))
    # A category feed: only that category's articles under the whole blog's channel.
    d, state = read_feed(blog + '+rssl20+c2', os.path.join(tmp, 'c2.xml'))
    check('category feed', (state, d.feed.get('title'), [e.title for e in d.entries]), (READABLE, TITLE, ['肉じゃがの作り方']))
    # An empty blog: channel only, still a document every reader takes.
    for command, title in (('rss', '<font color="red">空</font> & ブログ'), ('rss20', '空 & ブログ'), ('atoml', '空 & ブログ')):
        d, state = read_feed(base + 'velm.exe?empty+' + command, os.path.join(tmp, 'empty-' + command + '.xml'))
        check('empty blog ' + command, (state, d.entries, d.feed.get('title')), (READABLE, [], title))


def check_trackbacks(base):
    tb = base + 'velm.exe?demo+tb+' + article_id(ARTICLES[0][1])
    for fields in ({'title': 'お知らせ', 'excerpt': '富士山の記事を読みました。', 'url': 'http://127.0.0.1:9/entry/1',
                    'blog_name': 'よそのブログ'},
                   {'title': '<script>alert(1)</script>', 'excerpt': 'x"y', 'url': 'javascript:alert(2)',
                    'blog_name': '<b>悪い</b>'}):
        # A TrackBack ping as other blogs send it: a POST of a UTF-8 url-encoded form.
        req = urllib.request.Request(tb, data=urllib.parse.urlencode(fields, encoding='utf-8').encode('ascii'),
                                     headers={'Content-Type': 'application/x-www-form-urlencoded; charset=utf-8'})
        with urllib.request.urlopen(req, timeout=20) as r:
            check('ping answered', (r.status, r.headers.get('Content-Type'), r.read().decode('utf-8')),
                  (200, 'application/x-www-form-urlencoded; charset=utf-8', ANSWER))
    with urllib.request.urlopen(tb.replace('+tb+', '+tv+'), timeout=20) as r:
        page = r.read().decode('cp932')
    shown = ['<a href="http://127.0.0.1:9/entry/1" target="', '>よそのブログ</a></td><td style="color:black">お知らせ</td>',
             '富士山の記事を読みました。', '&lt;script&gt;alert(1)&lt;/script&gt;', '<td>&lt;b&gt;悪い&lt;/b&gt;</td>']
    check('list shows the pings, strangers\' text escaped', [s for s in shown if s not in page], [])
    check('no markup or script link from strangers', [s for s in ('<script>', '<b>', 'href="javascript:alert')
                                                      if s in page], [])
    check('both pings are listed', page.count('<tr><td colspan="3" style="color:silver">'), 2)


def main():
    with Site(sys.argv[1], 'lighttpd') as site:
        lay_out(site.root)
        check_feeds(site.url, site.run)
        check_trackbacks(site.url)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
