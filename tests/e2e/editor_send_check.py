#!/usr/bin/python3
# A new article saved through a real lighttpd sends its trackback ping to another blog (Python's
# http.server answering a trackback document) and its update ping to an XML-RPC ping server
# (Python's xmlrpc.server); the result page reports both.
#   usage: editor_send_check.py <velm.exe>
import os
import sys
import threading
import time
import urllib.parse
import urllib.request
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from xmlrpc.server import SimpleXMLRPCServer

from webserver import Site, write_text

TITLE = '散歩の日記'
SUBJECT = '桜の<季節>'
failures = 0
pings, trackbacks = [], []


def check(name, ok, detail=''):
    global failures
    failures += not ok
    print(('ok   ' + name) if ok else 'FAIL %s %s' % (name, detail))


class TrackBackBlog(BaseHTTPRequestHandler):
    """Another blog: stores the ping's fields and answers the trackback document."""

    def do_POST(self):
        length = int(self.headers.get('Content-Length', 0))
        form = urllib.parse.parse_qs(self.rfile.read(length).decode('ascii'), encoding='utf-8')
        trackbacks.append(({k: v[0] for k, v in form.items()}, dict(self.headers), self.request_version))
        answer = ('<?xml version="1.0" encoding="utf-8"?>\n<response>\n<error>0</error>\n'
                  '<message>Trackback Success</message>\n</response>\n').encode('utf-8')
        self.send_response(200)
        self.send_header('Content-Type', 'text/xml; charset=utf-8')
        self.send_header('Content-Length', str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)

    def log_message(self, *args):
        pass


def ping(name, url):
    pings.append((name, url))
    return {'flerror': False, 'message': 'Thanks for the ping.'}


def check_saves(site, tb_url, rpc_url):
    root, port = site.root, site.port
    acc = root + '/velmsystem/owner/'
    write_text(root + '/velm.ini',
               'CHARSET=shift_jis\nSYSTEMURL=http://127.0.0.1:%d/\nUPDATEPINGSENDSPAMTIME=0\n'
               'UPDATEPINGTYPESTART="weblogUpdates","1.0","VELM PING","text/xml","UTF8"\n'
               '<?xml version="1.0"?>\n<methodCall><methodName>weblogUpdates.ping</methodName><params>\n'
               '<param><value><string><velmtitle></string></value></param>\n'
               '<param><value><string><velmpath></string></value></param></params></methodCall>\n'
               'UPDATEPINGTYPEEND\n' % port)
    write_text(acc + 'title.txt', TITLE + '\n')
    write_text(acc + 'category.txt', '"c1","日記","1"\n')
    write_text(acc + 'updateping.txt', '"1","%s","weblogUpdates"\n' % rpc_url)
    base = site.url + 'velm.exe?'

    def save(fields):
        form = urllib.parse.urlencode(dict(category='c1', **fields), encoding='cp932').encode('ascii')
        request = urllib.request.Request(base + 'demo+ss', data=form,
                                         headers={'Cookie': 'INNAME=owner; INPASS=secret',
                                                  'Origin': 'http://127.0.0.1:%d' % port})
        with urllib.request.urlopen(request, timeout=60) as r:
            return r.read().decode('cp932')

    page = save({'subject': '下書き', 'sendupdateping': '1'})
    check('a hidden article sends no ping', '記事を新規保存しました' in page and '<hr>' not in page and not pings)
    started = time.monotonic()
    page = save({'subject': SUBJECT, 'ucontent': '満開でした。', 'cvisible': '1', 'sendupdateping': '1',
                 'trackback': tb_url})
    check('the ping servers are given five seconds', time.monotonic() - started >= 5)
    with open(acc + 'cindex.txt', encoding='cp932') as f:
        article = f.read().splitlines()[-1].split('","')[1]
    article_url = 'http://127.0.0.1:%d/velm.exe?demo+sl+%s' % (port, article)

    check('saved', '記事を新規保存しました' in page, page[-2000:])
    check('trackback reported', '<span style="color:blue">トラックバックは正常に処理されました</span>' in page)
    check('article address shown', 'トラックバック記事URL<br>' + article_url + '<br>' in page)
    check('one trackback ping', len(trackbacks) == 1, trackbacks)
    if trackbacks:
        fields, headers, version = trackbacks[0]
        check('ping fields', fields == {'title': '桜の&lt;季節&gt;', 'excerpt': '桜の&lt;季節&gt;', 'url': article_url,
                                        'blog_name': TITLE}, fields)
        check('ping agent and type', headers.get('User-Agent') == 'VELM TRACKBACK AGENT' and
              headers.get('Content-Type') == 'application/x-www-form-urlencoded; charset=utf-8;', headers)
        check('HTTP/1.0', version == 'HTTP/1.0', version)
    check('ping table', '<tr><td>No</td><td>Name</td><td>Server</td><td>Result</td><td>Message</td></tr>' in page and
          '<tr><td>1</td><td>weblogUpdates</td><td>%s</td><td>0</td>' % rpc_url in page and
          'Thanks for the ping.' in page, page[-1500:])
    check('one update ping', pings == [(TITLE, 'http://127.0.0.1:%d/velm.exe?demo' % port)], pings)
    check('trackback.log kept', os.path.exists(root + '/trackback.log'))


def main():
    tb_server = ThreadingHTTPServer(('127.0.0.1', 0), TrackBackBlog)
    rpc = SimpleXMLRPCServer(('127.0.0.1', 0), logRequests=False, allow_none=True)
    rpc.register_function(ping, 'weblogUpdates.ping')
    for s in (tb_server, rpc):
        threading.Thread(target=s.serve_forever, daemon=True).start()
    tb_url = 'http://127.0.0.1:%d/tb/42' % tb_server.server_address[1]
    rpc_url = 'http://127.0.0.1:%d/RPC2' % rpc.server_address[1]

    try:
        with Site(sys.argv[1], 'lighttpd') as site:
            check_saves(site, tb_url, rpc_url)
    finally:
        tb_server.shutdown()
        rpc.shutdown()
    print('%d failure(s)' % failures)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
