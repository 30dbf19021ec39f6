"""A temporary velm installation served by lighttpd or Apache httpd on a free loopback port.

    with Site(velm_exe, 'lighttpd') as site:    # or 'apache'
        status, headers, body = site.get('/velm.exe?demo')

The served folder holds velm.exe, velm.ini, images/ and velmsystem/ (account "demo", login
"owner", password "secret"); the server's configuration, pid file and logs live beside it, outside
the served folder. Bytes are Shift_JIS as velm writes them.
"""
import http.client
import os
import shutil
import socket
import subprocess
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def write_text(path, text):
    """A data file as velm keeps it: Shift_JIS, each '\\n' of text written as CR LF."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(text.replace('\n', '\r\n').encode('cp932'))


def free_port():
    s = socket.socket()
    s.bind(('127.0.0.1', 0))
    port = s.getsockname()[1]
    s.close()
    return port


class Site:
    def __init__(self, velm_exe, server='lighttpd', ini=''):
        self.velm_exe, self.server, self.extra_ini = velm_exe, server, ini

    def __enter__(self):
        self.top = tempfile.mkdtemp(prefix='velm-site-')
        os.chmod(self.top, 0o755)
        self.root = os.path.join(self.top, 'www')
        self.run = os.path.join(self.top, 'run')
        for d in ('velmsystem/owner', 'images/demo', 'template', 'log'):
            os.makedirs(os.path.join(self.root, d))
        os.makedirs(self.run)
        shutil.copy(self.velm_exe, os.path.join(self.root, 'velm.exe'))
        os.chmod(os.path.join(self.root, 'velm.exe'), 0o755)
        self.port = free_port()
        self.url = 'http://127.0.0.1:%d/' % self.port
        self.write('velm.ini', 'CHARSET=shift_jis\r\nSYSTEMURL=%s\r\n%s' % (self.url, self.extra_ini))
        self.write('velmsystem/account.ini', '"demo","owner","secret"\r\n')
        self.write('velmsystem.hed', '<p>header</p>\r\n')
        if self.server == 'apache':
            conf = open(os.path.join(REPO, 'deploy/apache.conf')).read()
            conf = conf.replace('@ROOT@', self.root).replace('@PORT@', str(self.port)).replace('@RUN@', self.run)
            path = os.path.join(self.run, 'apache.conf')
            open(path, 'w').write(conf)
            self.chown()
            cmd = ['/usr/sbin/apache2', '-f', path, '-DFOREGROUND']
        else:
            conf = open(os.path.join(REPO, 'deploy/lighttpd.conf.in')).read()
            conf = conf.replace('@ROOT@', self.root).replace('@PORT@', str(self.port))
            conf = conf.replace(self.root + '/log/', self.run + '/')
            path = os.path.join(self.run, 'lighttpd.conf')
            open(path, 'w').write(conf)
            cmd = ['/usr/sbin/lighttpd', '-D', '-f', path]
        self.proc = subprocess.Popen(cmd)
        for _ in range(100):
            try:
                socket.create_connection(('127.0.0.1', self.port), 0.2).close()
                break
            except OSError:
                time.sleep(0.1)
        else:
            raise RuntimeError('%s did not listen' % self.server)
        return self

    def __exit__(self, *exc):
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
        shutil.rmtree(self.top, ignore_errors=True)

    def chown(self):
        """Apache runs the program as www-data: the installation must be theirs."""
        if self.server != 'apache' or os.getuid() != 0:
            return
        import pwd
        pw = pwd.getpwnam('www-data')
        for d, dirs, files in os.walk(self.root):
            for n in [d] + [os.path.join(d, f) for f in dirs + files]:
                os.chown(n, pw.pw_uid, pw.pw_gid)

    def write(self, rel, text):
        path = os.path.join(self.root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        data = text.encode('cp932') if isinstance(text, str) else text
        with open(path, 'wb') as f:
            f.write(data)
        self.chown()

    def read(self, rel):
        try:
            return open(os.path.join(self.root, rel), 'rb').read()
        except FileNotFoundError:
            return None

    def request(self, method, path, body=None, headers=None):
        """One request with the path sent exactly as given; (status, headers, body bytes)."""
        c = http.client.HTTPConnection('127.0.0.1', self.port, timeout=30)
        c.putrequest(method, path, skip_host=True, skip_accept_encoding=True)
        h = {'Host': '127.0.0.1:%d' % self.port}
        if body is not None:
            h['Content-Type'] = 'application/x-www-form-urlencoded'
            h['Content-Length'] = str(len(body))
        h.update(headers or {})
        for k, v in h.items():
            c.putheader(k, v)
        c.endheaders()
        if body is not None:
            c.send(body if isinstance(body, bytes) else body.encode('cp932'))
        r = c.getresponse()
        data = r.read()
        c.close()
        return r.status, r.getheaders(), data

    def get(self, path, **kw):
        return self.request('GET', path, **kw)

    def post(self, path, body, **kw):
        return self.request('POST', path, body, **kw)
