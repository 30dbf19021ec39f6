#!/usr/bin/python3
# Outgoing connections against real peers on 127.0.0.1, started and stopped here: feed boxes of
# velm.exe through a real lighttpd read from http.server (and over https with a test CA), update
# pings answered by xmlrpc.server, the comment notice received by aiosmtpd (AUTH LOGIN, CRAM-MD5).
#   usage: net_peers_check.py <velm.exe> <net_probe>
import base64
import email
import email.policy
import hashlib
import hmac
import http.server
import os
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import urllib.request
import xmlrpc.client
import xmlrpc.server

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult

from webserver import free_port, write_text

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
VELM, PROBE = sys.argv[1], sys.argv[2]
failures = passes = 0


def check(name, ok, detail=''):
    global failures, passes
    failures += not ok
    passes += bool(ok)
    print(('ok   ' + name) if ok else 'FAIL %s %s' % (name, detail))


def hosts_name():
    """A name of /etc/hosts (other than localhost) for a loopback address, if there is one."""
    try:
        with open('/etc/hosts') as f:
            for line in f:
                words = line.split('#')[0].split()
                if len(words) > 1 and words[0].startswith('127.'):
                    for w in words[1:]:
                        if w != 'localhost' and socket.gethostbyname(w).startswith('127.'):
                            return w
    except OSError:
        pass
    return None


# ---- the feed site ----

def rss20(title):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<rss version="2.0"><channel><title>site</title>'
            '<link>http://example.jp/</link><description>d</description>'
            '<item><title>%s</title><link>http://example.jp/1</link><description><![CDATA[<p>本文は<b>ここ</b></p>]]>'
            '</description><pubDate>Tue, 01 Dec 2026 09:00:00 +0900</pubDate></item>'
            '<item><title>second</title><link>http://example.jp/2</link><pubDate>Mon, 30 Nov 2026 09:00:00 +0900'
            '</pubDate></item><item><title>third</title><link>http://example.jp/3</link></item></channel></rss>\n'
            % title).encode('utf-8')


FEEDS = {
    '/rss20.xml': rss20('二千の記事'),
    '/rss10.xml': ('<?xml version="1.0" encoding="utf-8"?>\n<rdf:RDF xmlns="http://purl.org/rss/1.0/" '
                   'xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#" xmlns:dc="http://purl.org/dc/elements/1.1/">'
                   '<channel rdf:about="http://example.jp/rss"><title>t</title><link>http://example.jp/</link>'
                   '<items><rdf:Seq><rdf:li rdf:resource="http://example.jp/a"/></rdf:Seq></items></channel>'
                   '<item rdf:about="http://example.jp/a"><title>千の記事</title><link>http://example.jp/a</link>'
                   '<dc:date>2026-12-02T10:00:00+09:00</dc:date></item></rdf:RDF>').encode('utf-8'),
    '/atom.xml': ('<?xml version="1.0" encoding="utf-8"?>\n<feed xmlns="http://www.w3.org/2005/Atom"><title>a</title>'
                  '<entry><title type="html">アトムの記事</title><link href="http://example.jp/e"/>'
                  '<updated>2026-12-03T08:00:00+09:00</updated></entry></feed>').encode('utf-8'),
    '/chunked.xml': rss20('分けて届く記事'),
    '/euc.xml': ('<?xml version="1.0" encoding="EUC-JP"?><rss version="2.0"><channel><item><title>日本語の記事'
                 '</title><link>http://example.jp/euc</link></item></channel></rss>').encode('euc-jp'),
}
requests = []


class FeedSite(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'  # keep-alive: the client must stop by the framing

    def log_message(self, *args):
        pass

    def do_GET(self):
        requests.append((self.path, self.headers.get('User-Agent'), self.headers.get('Host')))
        if self.path == '/moved.xml':
            body = ('<html><body><A HREF="http://127.0.0.1:%d/atom.xml">moved</A></body></html>'
                    % self.server.server_port).encode()
            self.send_response(302)
            self.send_header('Content-Length', str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        elif self.path == '/chunked.xml':
            self.send_response(200)
            self.send_header('Transfer-Encoding', 'chunked')
            self.end_headers()
            body = FEEDS[self.path]
            for at in range(0, len(body), 100):
                part = body[at:at + 100]
                self.wfile.write(b'%x\r\n%s\r\n' % (len(part), part))
                self.wfile.flush()
                time.sleep(0.01)
            self.wfile.write(b'0\r\n\r\n')
        elif self.path in FEEDS:
            body = FEEDS[self.path]
            self.send_response(200)
            self.send_header('Content-Type', 'application/xml')
            self.send_header('Content-Length', str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        else:
            self.send_error(404)


def serve(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


# ---- a test CA and two https sites ----

def make_certs(folder):
    def run(*args):
        subprocess.run(['openssl'] + list(args), check=True, capture_output=True, cwd=folder)
    run('req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', 'ca.key', '-out', 'ca.pem', '-days', '2',
        '-subj', '/CN=velm test CA', '-addext', 'basicConstraints=critical,CA:TRUE',
        '-addext', 'keyUsage=critical,keyCertSign,cRLSign')
    for name, san in (('good', 'DNS:localhost,IP:127.0.0.1'), ('wrong', 'DNS:wrong.example')):
        run('req', '-newkey', 'rsa:2048', '-nodes', '-keyout', name + '.key', '-out', name + '.csr',
            '-subj', '/CN=' + san.split(',')[0][4:])
        with open(os.path.join(folder, name + '.ext'), 'w') as f:
            f.write('subjectAltName=%s\nbasicConstraints=CA:FALSE\n' % san)
        run('x509', '-req', '-in', name + '.csr', '-CA', 'ca.pem', '-CAkey', 'ca.key', '-CAcreateserial',
            '-out', name + '.pem', '-days', '2', '-extfile', name + '.ext')


def https_site(folder, name):
    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), FeedSite)
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(os.path.join(folder, name + '.pem'), os.path.join(folder, name + '.key'))
    server.socket = ctx.wrap_socket(server.socket, server_side=True)
    return serve(server)


# ---- a host that accepts and never answers ----

def silent_host():
    s = socket.socket()
    s.bind(('127.0.0.1', 0))
    s.listen(16)
    held = []

    def run():
        while True:
            try:
                held.append(s.accept()[0])
            except OSError:
                return
    threading.Thread(target=run, daemon=True).start()
    return s, held


# ---- the ping server ----

pings = []


def ping(title, url):
    pings.append((title, url))
    return {'flerror': False, 'message': 'Thanks for the ping.'}


def fail(title, url):
    raise xmlrpc.client.Fault(4, 'Too many pings')


# ---- the mail server ----

class Mailbox:
    def __init__(self):
        self.messages = []

    async def handle_DATA(self, server, session, envelope):
        self.messages.append((envelope.mail_from, list(envelope.rcpt_tos), envelope.original_content, session.auth_data))
        return '250 OK'

    async def auth_CRAM__MD5(self, server, args):
        challenge = b'<4711.1234567@velm.test>'
        answer = await server.challenge_auth(challenge)
        if not isinstance(answer, bytes) or b' ' not in answer:
            return AuthResult(success=False, handled=False)
        user, digest = answer.split(b' ', 1)
        want = hmac.new(b'cram secret', challenge, hashlib.md5).hexdigest().encode()
        return AuthResult(success=user == b'cramuser' and digest == want, handled=False, auth_data=user)


def login_only(server, session, envelope, mechanism, data):
    ok = mechanism == 'LOGIN' and data.login == b'mailuser' and data.password == b'mail pass'
    return AuthResult(success=ok, handled=False, auth_data=data)


def fetch(url, data=None, cookie=None):
    req = urllib.request.Request(url, data=data)
    if cookie:
        req.add_header('Cookie', cookie)
    with urllib.request.urlopen(req, timeout=60) as r:
        return r.read().decode('cp932', 'replace')


def main():
    work = tempfile.mkdtemp(prefix='velm-net-')
    root = work + '/site'
    lighttpd = None
    silent = None
    try:
        make_certs(work)
        site = serve(http.server.ThreadingHTTPServer(('127.0.0.1', 0), FeedSite))
        good, wrong = https_site(work, 'good'), https_site(work, 'wrong')
        silent, _ = silent_host()
        rpc = xmlrpc.server.SimpleXMLRPCServer(('127.0.0.1', 0), logRequests=False, allow_none=True)
        rpc.register_function(ping, 'weblogUpdates.ping')
        rpc.register_function(fail, 'weblogUpdates.fail')
        serve(rpc)
        P, port = site.server_port, free_port()
        url = 'http://127.0.0.1:%d/' % port
        alias = hosts_name()

        # The installation: velm.exe under lighttpd with feeds, https and two ping types.
        os.makedirs(root + '/log')
        os.makedirs(root + '/images/demo')
        shutil.copy(VELM, root + '/velm.exe')
        ping_type = ('UPDATEPINGTYPESTART="%s","1.0","velm ping","text/xml","UTF8"\n<?xml version="1.0"?>\n'
                     '<methodCall><methodName>%s</methodName><params><param><value><velmtitle></value></param>'
                     '<param><value><velmpath></value></param></params></methodCall>\nUPDATEPINGTYPEEND\n')
        write_text(root + '/velm.ini', 'CHARSET=shift_jis\nSYSTEMURL=%s\nUSESIDEMENURSS=ON\nUSEHTTPS=ON\nHTTPSCAFILE=%s\n'
              'RSSREADTIMEOUT=3\nUPDATEPINGSENDSPAMTIME=0\n' % (url, work + '/ca.pem')
              + ping_type % ('weblogUpdates', 'weblogUpdates.ping') + ping_type % ('broken', 'weblogUpdates.fail'))
        write_text(root + '/velmsystem/account.ini', '"demo","owner","secret"\n')
        acc = root + '/velmsystem/owner/'
        write_text(acc + 'title.txt', 'ネットのブログ\n')
        write_text(acc + 'style.txt', 'LAYOUTTYPE=2\n')
        tags = [('r20', 'http://localhost:%d/rss20.xml' % P, ' count="2" desc="on"'),
                ('r10', 'http://%s:%d/rss10.xml' % (alias or '127.0.0.1', P), ''),
                ('atom', 'http://127.0.0.1:%d/atom.xml' % P, ''),
                ('chunk', 'http://127.0.0.1:%d/chunked.xml' % P, ' count="1"'),
                ('moved', 'http://127.0.0.1:%d/moved.xml' % P, ''),
                ('euc', 'http://127.0.0.1:%d/euc.xml' % P, ''),
                ('tls', 'https://localhost:%d/rss20.xml' % good.server_port, ' count="1"'),
                ('wrongname', 'https://localhost:%d/rss20.xml' % wrong.server_port, '')]
        box = ''.join('<div id="%s"><RSSCONTENT key="%s" src="%s"%s></div>\n' % (k, k, s, a) for k, s, a in tags)
        dead = 'http://127.0.0.1:%d/feed.xml' % silent.getsockname()[1]
        write_text(acc + 'sidemenu.txt', 'SIDEMENU1START\n%sSIDEMENU1END\nSIDEMENU2START\n<RSSCONTENT key="dead" src="%s">\n'
              'SIDEMENU2END\n' % (box, dead))
        with open(REPO + '/deploy/lighttpd.conf.in') as f, open(root + '/lighttpd.conf', 'w') as out:
            out.write(f.read().replace('@ROOT@', root).replace('@PORT@', str(port)))
        lighttpd = subprocess.Popen(['/usr/sbin/lighttpd', '-D', '-f', root + '/lighttpd.conf'])
        for _ in range(100):
            try:
                urllib.request.urlopen(url, timeout=1)
                break
            except OSError:
                time.sleep(0.1)

        # Feed boxes: every dialect, chunked, moved, EUC-JP, names from /etc/hosts, https.
        started = time.time()
        page = fetch(url + 'velm.exe?demo')
        first = time.time() - started

        def part(key):
            at = page.find('<div id="%s">' % key)
            return page[at:page.find('</div>', at)] if at >= 0 else ''
        check('RSS 2.0 by localhost, two items with descriptions',
              '2026/12/01 <a href="http://example.jp/1" target="_blank">二千の記事</a><br><span style="color:silver">本文はここ</span>'
              in part('r20') and 'second' in part('r20') and 'third' not in part('r20'), part('r20'))
        check('RSS 1.0 by a name from /etc/hosts (%s)' % alias,
              '2026-12-02 <a href="http://example.jp/a" target="_blank">千の記事</a>' in part('r10'), part('r10'))
        check('Atom', '2026-12-03 <a href="http://example.jp/e" target="_blank">アトムの記事</a>' in part('atom'), part('atom'))
        check('chunked, kept alive', '分けて届く記事' in part('chunk') and 'second' not in part('chunk'), part('chunk'))
        check('302 with a link in the body', 'アトムの記事' in part('moved'), part('moved'))
        check('EUC-JP', '日本語の記事' in part('euc'), part('euc'))
        check('https with the test CA', '二千の記事' in part('tls'), part('tls'))
        check('https certificate for another name refused',
              '[https://localhost:%d/rss20.xml] is cannot read' % wrong.server_port in part('wrongname'), part('wrongname'))
        check('dead source shown as unreadable', '[%s] is cannot read' % dead in page)
        check('first view within the feed deadline (%.1f s)' % first, first < 8)
        check('reader name sent', all(agent == 'VELM_RSS_READER1.0' for _, agent, _ in requests), requests)
        before = len(requests)
        started = time.time()
        again = fetch(url + 'velm.exe?demo')
        check('second view from the caches (%.2f s)' % (time.time() - started),
              time.time() - started < 1.5 and len(requests) == before and '千の記事' in again)

        # Update pings through the owner's pages.
        cookie = 'INNAME=owner; INPASS=secret'
        rpc_url = 'http://127.0.0.1:%d/RPC2' % rpc.server_address[1]
        saved = fetch(url + 'velm.exe?demo+pw', urllib.parse.urlencode(
            {'upe0': '1', 'upu0': rpc_url, 'upf0': 'weblogUpdates', 'upe1': '1', 'upu1': rpc_url, 'upf1': 'broken'}
        ).encode(), cookie)
        check('ping settings saved', '更新Pingの設定を更新しました。' in saved)
        sent = fetch(url + 'velm.exe?demo+su', b'go=1', cookie)
        check('ping answered', '<tr><td>1</td><td>weblogUpdates</td><td>%s</td><td>0</td><td>Thanks for the ping.</td></tr>'
              % rpc_url in sent, sent[-800:])
        check('ping fault', '<tr><td>2</td><td>broken</td><td>%s</td><td>4</td><td>Too many pings</td></tr>' % rpc_url
              in sent, sent[-800:])
        check('ping server got the title and address', pings == [('ネットのブログ', url + 'velm.exe?demo')], pings)

        # The comment notice through aiosmtpd: AUTH LOGIN, CRAM-MD5, a refused login.
        box = Mailbox()
        mport = free_port()
        mail = Controller(box, hostname='127.0.0.1', port=mport, authenticator=login_only, auth_require_tls=False)
        mail.start()
        try:
            for auth, user, password, delivered in (('LOGIN', 'mailuser', 'mail pass', True),
                                                    ('CRAM-MD5', 'cramuser', 'cram secret', True),
                                                    ('LOGIN', 'mailuser', 'wrong', False)):
                folder = work + '/mail-' + auth + password
                write_text(folder + '/velm.ini', 'SYSTEMURL=%s\nSMTPSERVER=localhost:%d\nSMTPFROM=velm@example.jp\n'
                      'SMTPAUTHTYPE=%s\nSMTPACCOUNT=%s\nSMTPPASSWORD=%s\n' % (url, mport, auth, user, password))
                count = len(box.messages)
                out = subprocess.run([PROBE, 'mail', folder, 'owner@example.jp', '太郎 &amp; 花子'.encode('cp932'),
                                      'abc123'], capture_output=True, timeout=60).stdout.decode('cp932', 'replace')
                check('mail with %s %s' % (auth, 'delivered' if delivered else 'refused'),
                      ('result 0' if delivered else 'result -6') in out and len(box.messages) == count + delivered, out)
            frm, to, raw, login = box.messages[0]
            msg = email.message_from_bytes(raw, policy=email.policy.default)
            body = ('\r\n下記の記事にコメントが行われました\r\n投稿者 : 太郎 &amp; 花子\r\n\r\n%svelm.exe?demo+sl+abc123'
                    % url).encode('iso-2022-jp')
            check('envelope', frm == 'velm@example.jp' and to == ['owner@example.jp'], (frm, to))
            check('headers', str(msg['From']) == 'VELM SYSTEM <velm@example.jp>' and str(msg['To']) == 'owner@example.jp'
                  and str(msg['Subject']) == 'VELM SYSTEM' and str(msg['Reply-to']) == 'owner@example.jp'
                  and msg['Date'].datetime.utcoffset().total_seconds() == 9 * 3600
                  and msg.get_content_charset() == 'iso-2022-jp' and msg['Message-ID'].endswith('@example.jp>'),
                  dict(msg.items()))
            check('ISO-2022-JP body bytes', raw.split(b'\r\n\r\n', 1)[1].rstrip(b'\r\n') == body.rstrip(b'\r\n'),
                  raw.split(b'\r\n\r\n', 1)[1])
            check('logged in as the account', box.messages[0][3].login == b'mailuser' and box.messages[1][3] == b'cramuser')
        finally:
            mail.stop()

        # https off: the address does nothing; on: a certificate for another name is a failed connect.
        probe = lambda *a: subprocess.run([PROBE, 'get'] + list(a), capture_output=True, timeout=60).stdout.decode()
        out = probe('https://localhost:%d/rss20.xml' % good.server_port, 'off')
        check('https switched off does nothing', 'status No Status' in out and 'Connect' not in out, out)
        out = probe('https://localhost:%d/rss20.xml' % wrong.server_port, 'on', work + '/ca.pem')
        check('wrong name logged', 'log TLS certificate error' in out and 'status No Status' in out, out)
        out = probe('https://127.0.0.1:%d/rss20.xml' % good.server_port, 'on', work + '/ca.pem')
        check('https by address', 'status HTTP/1.1 200 OK' in out and 'complete 1' in out, out)
    finally:
        if lighttpd:
            lighttpd.terminate()
            lighttpd.wait()
        if silent:
            silent.close()
        shutil.rmtree(work, ignore_errors=True)
    print('%d passed, %d failed' % (passes, failures))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
