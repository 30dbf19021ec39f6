"""velm through a real web server, tried as an attacker would: the files that are never served
under any spelling, path tricks in every request word, markup in every field that reaches a
page, line breaks in every value that reaches a header, a blog behind its view password probed
page by page, cross-site requests to every changing command, and the login throttle.

    python3 attack_check.py path/to/velm.exe lighttpd|apache
"""
import hashlib
import os
import sys
import unittest
import urllib.parse

from webserver import Site

VELM, SERVER = sys.argv[1], sys.argv[2]
SECRET_TITLE = '秘密の記事'
ART = hashlib.sha1(b'2026/11/01 10:00:00').hexdigest()


def q(text):
    return urllib.parse.quote(text.encode('cp932'), safe='')


class Attack(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.site = Site(VELM, SERVER, ini='USELOGINHEADER=ON\r\n').__enter__()
        s = cls.site
        s.write('velmsystem/owner/category.txt', '"c1","日記","1"\r\n')
        s.write('velmsystem/owner/cindex.txt', '"c1","%s","2026/11/01 10:00:00","2026/11/01 10:00:00","%s","1"\r\n'
                % (ART, SECRET_TITLE))
        s.write('velmsystem/owner/%s.txt' % ART, '本文です')
        s.write('velmsystem/owner/style.txt', 'USECOMMENT=1\r\nUSETRACKBACK=1\r\n')

    @classmethod
    def tearDownClass(cls):
        cls.site.__exit__(None, None, None)

    def text(self, body):
        return body.decode('cp932', 'replace')

    def test_files_are_never_served(self):
        spellings = ['/velm.ini', '/velm.ini/', '/velm.ini/x', '/velm.ini%2f', '/velm.ini%2F', '/VELM.INI', '/Velm.Ini',
                     '//velm.ini', '/./velm.ini', '/images/../velm.ini', '/images/%2e%2e/velm.ini', '/%76elm.ini',
                     '/velm%2eini', '/velm.ini%00', '/velmsystem/account.ini', '/VelmSystem/account.ini',
                     '//velmsystem//account.ini', '/velmsystem%2faccount.ini', '/images/..%2fvelmsystem/account.ini',
                     '/velmsystem/', '/velmsystem', '/velmsystem/owner/style.txt', '/velmsystem.hed', '/velmsystem.hed/',
                     '/VELMSYSTEM.HED', '/log/', '/template/', '/velm.exe/velm.ini', '/lighttpd.conf', '/apache.conf']
        for path in spellings:
            status, _, body = self.site.get(path)
            self.assertIn(status, (400, 403, 404), path)
            for secret in (b'secret', b'CHARSET', b'<p>header', b'USECOMMENT'):
                self.assertNotIn(secret, body, path)
        self.assertEqual(self.site.get('/velm.exe?demo')[0], 200)

    def test_path_tricks_in_request_words(self):
        for query in ['..%2fvelm.ini', '../velmsystem/account.ini', 'demo+sl+..%2f..%2fvelm.ini', 'demo+sl+../account',
                      'demo+tv+..%2F..%2Fvelm', 'demo+ul+..%2Faccount', 'demo+sv+..%2f..%2fvelm', 'demo+rssl+..%2fc1',
                      'demo+pl+%2fetc%2fpasswd', 'demo+sl+' + ART + '%00', 'demo%2f..+dv', 'demo+dv+..+..']:
            status, _, body = self.site.get('/velm.exe?' + query)
            self.assertIn(status, (200, 400), query)  # a server may refuse a NUL outright
            for secret in (b'secret', b'CHARSET=', b'root:'):
                self.assertNotIn(secret, body, query)

    def test_markup_in_fields_that_reach_pages(self):
        mark = '<script>alert(1)</script>'
        pages = [
            self.site.post('/velm.exe?demo+dv', 'searchword=' + q(mark))[2],
            self.site.get('/velm.exe?demo', headers={'Cookie': 'INNAME=' + q(mark)})[2],
            self.site.post('/velm.exe?demo', 'loginname=' + q(mark))[2],
            self.site.get('/velm.exe?demo+sv+' + q(mark))[2],
            self.site.get('/velm.exe?demo+ul+' + q(mark))[2],
        ]
        ping = '&'.join(k + '=' + q(mark) for k in ('title', 'excerpt', 'blog_name')) + '&url=' + q('javascript:' + mark)
        self.assertIn(b'<error>0</error>', self.site.post('/velm.exe?demo+tb+' + ART, ping)[2])
        pages.append(self.site.get('/velm.exe?demo+tv+' + ART)[2])
        for page in pages:
            self.assertNotIn(mark.encode(), page)
            self.assertNotIn(b'href="javascript:%3C', page)
            self.assertNotIn(b'href="javascript:&lt;', page)
        self.assertIn(b'&lt;script&gt;', pages[-1])

    def test_line_breaks_never_reach_headers(self):
        crlf = '%0D%0AX-Injected:%20yes'
        for path, body in [('/velm.exe?demo+lg', 'loginname=owner' + crlf + '&loginpass=x' + crlf),
                           ('/velm.exe?demo+vpw', 'sviewpass=a' + crlf),
                           ('/velm.exe?demo+qi', None)]:
            status, headers, _ = (self.site.post(path, body) if body else self.site.get(path))
            names = [k.lower() for k, _ in headers]
            self.assertNotIn('x-injected', names, path)
            for k, v in headers:
                self.assertNotIn('\n', v)
                self.assertNotIn('\r', v)

    def test_cross_site_requests_change_nothing(self):
        login = {'Cookie': 'INNAME=owner; INPASS=secret'}
        self.site.get('/velm.exe?demo')  # a logged view
        before = self.site.read('velmsystem/owner/access.log')
        self.assertTrue(before)
        refused = '他のサイトからの要求は受け付けません'
        for headers in ({'Origin': 'http://evil.example'}, {'Referer': 'http://evil.example/x'}, {'Origin': 'null'}):
            h = dict(login, **headers)
            for path, body in [('/velm.exe?demo+lm', None), ('/velm.exe?demo+qi', None),
                               ('/velm.exe?demo+lg', 'loginname=owner&loginpass=secret')]:
                status, hdrs, page = self.site.post(path, body, headers=h) if body else self.site.get(path, headers=h)
                self.assertIn(refused, self.text(page), (path, headers))
                self.assertFalse([v for k, v in hdrs if k.lower() == 'set-cookie'], (path, headers))
        self.assertEqual(self.site.read('velmsystem/owner/access.log')[:len(before)], before)
        # Every command that changes data or cookies: nothing set, nothing changed.
        changing = ['qi', 'iu', 'tu', 'bu', 'pu', 'dd', 'ms', 'du', 'dw', 'lg', 'hs', 'ps', 'cd', 'ld', 'dm', 'vm', 'dt',
                    'ss', 'dc', 'us', 'lm', 'cz', 'cs', 'pw', 'su', 'bs', 'bsip', 'ds', 'jd']
        files = sorted(os.listdir(os.path.join(self.site.root, 'velmsystem/owner')))
        for word in changing:
            h = dict(login, Origin='http://evil.example')
            status, hdrs, page = self.site.post('/velm.exe?demo+%s+%s' % (word, ART), 'loginname=owner&loginpass=secret',
                                                headers=h)
            self.assertFalse([v for k, v in hdrs if k.lower() == 'set-cookie'], word)
            self.assertTrue(page == b'' or refused in self.text(page), word)
        self.assertEqual(sorted(os.listdir(os.path.join(self.site.root, 'velmsystem/owner'))), files)
        # The same requests from the blog's own pages go through.
        own = dict(login, Referer=self.site.url + 'velm.exe?demo')
        self.assertNotIn(refused, self.text(self.site.get('/velm.exe?demo+qi', headers=own)[2]))
        # Strangers' commands are not affected.
        self.assertIn(b'<error>', self.site.post('/velm.exe?demo+tb+' + ART, 'url=http://x/',
                                                 headers={'Origin': 'http://other.example'})[2])

    def test_login_throttle(self):
        addr_ok = []
        for i in range(10):
            page = self.site.post('/velm.exe?demo+lg', 'loginname=owner&loginpass=guess%d' % i)[2]
            addr_ok.append('settingcell' in self.text(page))
        self.assertFalse(any(addr_ok))
        page = self.site.post('/velm.exe?demo+lg', 'loginname=owner&loginpass=secret')[2]
        self.assertNotIn('settingcell', self.text(page))
        self.site.write('velmsystem/owner/loginguard.txt', '')
        page = self.site.post('/velm.exe?demo+lg', 'loginname=owner&loginpass=secret')[2]
        self.assertIn('settingcell', self.text(page))

    def test_view_password_blog_page_by_page(self):
        self.site.write('velmsystem/owner/style.txt', 'USECOMMENT=1\r\nUSETRACKBACK=1\r\nVIEWPASSWORD=pw\r\n')
        try:
            words = ['', '+dv', '+sv+c1', '+sv+202611', '+sc+c1', '+pa', '+ul+x', '+sl+' + ART, '+pl+' + ART, '+tv+' + ART,
                     '+rss', '+rssl', '+rss20', '+rssl20', '+atom', '+atoml', '+rssl+c1']
            for w in words:
                status, _, body = self.site.get('/velm.exe?demo' + w)
                self.assertEqual(status, 200, w)
                page = self.text(body)
                for secret in (SECRET_TITLE, '本文です', ART, '日記'):
                    self.assertNotIn(secret, page, w)
            self.assertIn(b'<error>1</error>', self.site.post('/velm.exe?demo+tb+' + ART, 'url=http://x/')[2])
            page = self.text(self.site.get('/velm.exe?demo', headers={'Cookie': 'VIEWPASS-demo=pw'})[2])
            self.assertIn(SECRET_TITLE, page)
        finally:
            self.site.write('velmsystem/owner/style.txt', 'USECOMMENT=1\r\nUSETRACKBACK=1\r\n')


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=1)
