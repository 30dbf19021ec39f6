#!/usr/bin/python3
# The page title fetch of the link support pop-up (LS) and the link page (LV) against Python's
# http.server on loopback: pages in UTF-8, EUC-JP, Shift_JIS and ISO-2022-JP, with the charset in
# the header, in a META tag, in both (the META tag wins) and in neither.
#   usage: title_fetch_check.py <velm.exe>
import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import urllib.parse

TITLE = '日本語のタイトル ＆ テスト'
BODY = '<p>ここは本文です。漢字とかなが並んでいます。</p>'
ENCODINGS = {'utf8': 'utf-8', 'euc': 'euc-jp', 'sjis': 'shift_jis', 'jis': 'iso-2022-jp'}
passed = failures = 0
agents = []


def check(name, got, want):
    global passed, failures
    if got == want:
        passed += 1
        print('ok   ' + name)
    else:
        failures += 1
        print('FAIL %s: got %r want %r' % (name, got, want))


def page(codec, header, meta):
    """The bytes of a page in codec; the charset is named in the header and/or in a META tag."""
    head = '<meta http-equiv="Content-Type" content="text/html; charset=%s">' % meta if meta else ''
    html = '<html><head>%s\n<title>\n  %s\n</title></head><body>%s</body></html>' % (head, TITLE, BODY)
    return html.encode(codec), 'text/html; charset=%s' % header if header else 'text/html'


class Pages(http.server.BaseHTTPRequestHandler):
    # /<encoding>/<where>: where is header, meta, both, neither or wrong (the header names another charset)
    def do_GET(self):
        agents.append(self.headers.get('User-Agent', ''))
        parts = self.path.strip('/').split('/')
        if parts == ['moved']:
            self.send_response(302)
            self.send_header('Location', '/utf8/header')
            self.send_header('Content-Type', 'text/html')
            self.end_headers()
            self.wfile.write(b'<html><body><A HREF="/utf8/header">moved</A></body></html>')
            return
        if len(parts) != 2 or parts[0] not in ENCODINGS:
            self.send_response(404)
            self.send_header('Content-Type', 'text/html')
            self.end_headers()
            self.wfile.write(b'<html><head><title>Not Found</title></head></html>')
            return
        codec = ENCODINGS[parts[0]]
        where = parts[1]
        header = codec if where in ('header', 'both') else ('utf-8' if where == 'wrong' else None)
        meta = codec if where in ('meta', 'both', 'wrong') else None
        data, ctype = page(codec, header, meta)
        self.send_response(200)
        self.send_header('Content-Type', ctype)
        self.send_header('Content-Length', str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, *args):
        pass


def install(velm, extra_ini):
    root = tempfile.mkdtemp(prefix='velm-title-')
    os.makedirs(os.path.join(root, 'velmsystem', 'owner'))
    os.makedirs(os.path.join(root, 'images', 'demo'))
    shutil.copy(velm, os.path.join(root, 'velm.exe'))
    with open(os.path.join(root, 'velm.ini'), 'wb') as f:
        f.write(('CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1/blog/\r\n' + extra_ini).encode('cp932'))
    with open(os.path.join(root, 'velmsystem', 'account.ini'), 'wb') as f:
        f.write(b'"demo","owner","secret"\r\n')
    return root


def request(root, query, fields):
    body = urllib.parse.urlencode(fields).encode()
    env = {'PATH': '/usr/bin:/bin', 'TZ': 'Asia/Tokyo', 'REQUEST_METHOD': 'POST', 'QUERY_STRING': query,
           'SERVER_PROTOCOL': 'HTTP/1.1', 'HTTP_HOST': '127.0.0.1', 'REMOTE_ADDR': '127.0.0.1',
           'CONTENT_TYPE': 'application/x-www-form-urlencoded', 'CONTENT_LENGTH': str(len(body)),
           'HTTP_COOKIE': 'INNAME=owner; INPASS=secret'}
    out = subprocess.run([os.path.join(root, 'velm.exe')], input=body, env=env, cwd=root, capture_output=True,
                         timeout=60).stdout
    return out.decode('cp932', errors='replace')


def field(html, pattern):
    m = re.search(pattern, html)
    return m.group(1) if m else None


def main():
    velm = sys.argv[1]
    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Pages)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = 'http://127.0.0.1:%d' % server.server_address[1]
    want = TITLE
    root = install(velm, 'USELINKSUPPORT=ON\r\n')
    try:
        def ls_title(path):
            html = request(root, 'demo+ls', {'targeturl': base + path})
            return field(html, r'name="targettitle" id="v2" value="([^"]*)"')

        for enc in ENCODINGS:
            for where in ('header', 'meta', 'both', 'neither', 'wrong'):
                check('LS %s, charset in %s' % (enc, where), ls_title('/%s/%s' % (enc, where)), want)
        check('LS follows a moved page', ls_title('/moved'), want)
        check('LS of a missing page gives no title', ls_title('/nothing'), '')
        check('LS of a closed port gives no title', field(request(root, 'demo+ls', {'targeturl': 'http://127.0.0.1:1/'}),
                                                          r'id="v2" value="([^"]*)"'), '')
        check('user agent', agents[0], 'VELM AUTOLINKCHECK AGENT(http://127.0.0.1/blog/)')

        # The title button of the link page fills the title and the address.
        html = request(root, 'demo+lv', {'checkurl': base + '/euc/meta'})
        check('LV title', field(html, r'name="newurltitle" value="([^"]*)"'), want)
        check('LV url', field(html, r'name="newurllink" size="40" id="lksp" value="([^"]*)"'), base + '/euc/meta')
        html = request(root, 'demo+lv', {'checkurl': base + '/nothing'})
        check('LV failed fetch', 'タイトルを取得できませんでした' in html, True)
    finally:
        shutil.rmtree(root, ignore_errors=True)

    # With the link support off, nothing is fetched.
    root = install(velm, '')
    try:
        before = len(agents)
        html = request(root, 'demo+ls', {'targeturl': base + '/utf8/header'})
        check('LS switched off', (field(html, r'id="v2" value="([^"]*)"'), len(agents)), ('', before))
    finally:
        shutil.rmtree(root, ignore_errors=True)
        server.shutdown()
    print('%d passed, %d failed' % (passed, failures))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
