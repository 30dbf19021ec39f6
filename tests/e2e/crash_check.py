"""Crash test: velm.exe processes (this test's own children, run as CGI programs) are killed at
random while 20 writers run at once; afterwards every data and derived file parses, nothing that
was acknowledged is missing, and no temporary files pile up.

    python3 crash_check.py path/to/velm.exe [seconds]

Adding a writer: append a TWriter to WRITERS. Its request(n) gives (query, body, extra
environment) for its n-th request (n unique across the run), acked(n, output) tells whether the
full answer says the change was made, and check(install, acked) returns a list of faults found in
the files afterwards (every acknowledged n must be there, every line must parse).
"""
import hashlib
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

ART = hashlib.sha1(b'2026/11/01 10:00:00').hexdigest()


def fields(line):
    if len(line) < 2 or not (line.startswith('"') and line.endswith('"')):
        return None
    return line[1:-1].split('","')


def lines_of(install, rel, code):
    try:
        data = open(os.path.join(install, 'velmsystem/owner', rel), 'rb').read()
    except FileNotFoundError:
        return []
    return [l for l in data.decode(code).replace('\r\n', '\n').split('\n') if l]


class TWriter:
    def __init__(self, name, request, acked, check):
        self.name, self.request, self.acked, self.check = name, request, acked, check


def check_pings(install, acked):
    faults, seen = [], set()
    for line in lines_of(install, 'trackback.txt', 'utf-8'):
        f = fields(line)
        if not f or len(f) != 8 or f[3] != ART or not f[7].startswith('http://peer.example/'):
            faults.append('trackback line does not parse: %r' % line[:80])
        else:
            seen.add(int(f[7].rsplit('/', 1)[1]))
    faults += ['acknowledged ping %d missing' % n for n in acked - seen]
    return faults


def check_views(install, acked):
    faults, seen = [], set()
    for line in lines_of(install, 'access.log', 'cp932'):
        f = fields(line)
        if not f or len(f) != 4 or not f[2].startswith('agent-'):
            faults.append('access.log line does not parse: %r' % line[:80])
        else:
            seen.add(int(f[2][6:]))
    faults += ['acknowledged view %d missing' % n for n in acked - seen]
    return faults


WRITERS = [
    TWriter('ping', lambda n: ('demo+tb+' + ART, 'url=http://peer.example/%d&title=%%E6%%97%%A5&excerpt=x' % n, {}),
            lambda n, out: out.endswith(b'<message>Trackback Success</message>\r\n</response>\r\n'), check_pings),
    TWriter('view', lambda n: ('demo', '', {'HTTP_USER_AGENT': 'agent-%d' % n}),
            lambda n, out: out.rstrip().endswith(b'</html>'), check_views),
]


def run_velm(install, query, body, env, procs, lock):
    e = {'PATH': '/usr/bin:/bin', 'TZ': 'Asia/Tokyo', 'GATEWAY_INTERFACE': 'CGI/1.1', 'SERVER_PROTOCOL': 'HTTP/1.1',
         'REQUEST_METHOD': 'POST' if body else 'GET', 'QUERY_STRING': query, 'REMOTE_ADDR': '127.0.0.1',
         'HTTP_HOST': '127.0.0.1', 'CONTENT_LENGTH': str(len(body)) if body else '',
         'CONTENT_TYPE': 'application/x-www-form-urlencoded' if body else ''}
    e.update(env)
    p = subprocess.Popen([os.path.join(install, 'velm.exe')], cwd=install, env=e, stdin=subprocess.PIPE,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    with lock:
        procs.add(p)
    out, _ = p.communicate(body.encode())
    with lock:
        procs.discard(p)
    return p.returncode, out


def main():
    velm = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 20
    install = tempfile.mkdtemp(prefix='velm-crash-')
    try:
        os.makedirs(os.path.join(install, 'velmsystem/owner'))
        shutil.copy(velm, os.path.join(install, 'velm.exe'))
        open(os.path.join(install, 'velm.ini'), 'wb').write(b'CHARSET=shift_jis\r\n')
        open(os.path.join(install, 'velmsystem/account.ini'), 'wb').write(b'"demo","owner","secret"\r\n')
        d = os.path.join(install, 'velmsystem/owner/')
        open(d + 'cindex.txt', 'w').write('"c1","%s","2026/11/01 10:00:00","2026/11/01 10:00:00","t","1"\r\n' % ART)
        open(d + 'style.txt', 'w').write('USETRACKBACK=1\r\nUSECOMMENT=1\r\n')

        procs, lock = set(), threading.Lock()
        acked = {w.name: set() for w in WRITERS}
        counter = [0]
        stop = time.time() + seconds
        kills = [0]

        def writer(k):
            w = WRITERS[k % len(WRITERS)]
            while time.time() < stop:
                with lock:
                    counter[0] += 1
                    n = counter[0]
                query, body, env = w.request(n)
                code, out = run_velm(install, query, body, env, procs, lock)
                if code == 0 and w.acked(n, out):
                    with lock:
                        acked[w.name].add(n)

        def killer():
            rnd = random.Random(7)
            while time.time() < stop:
                time.sleep(rnd.uniform(0.005, 0.05))
                with lock:
                    victims = list(procs)
                if victims:
                    try:
                        rnd.choice(victims).send_signal(signal.SIGKILL)
                        kills[0] += 1
                    except ProcessLookupError:
                        pass

        threads = [threading.Thread(target=writer, args=(k,)) for k in range(20)] + [threading.Thread(target=killer)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()

        faults = []
        for w in WRITERS:
            faults += w.check(install, acked[w.name])
        # The derived files still agree with their sources: the pages read them.
        code, out = run_velm(install, 'demo+tv+' + ART, '', {}, set(), threading.Lock())
        pings = len([l for l in lines_of(install, 'trackback.txt', 'utf-8')])
        if out.count(b'<td colspan="3" style="color:silver">') != pings:
            faults.append('trackback list shows %d of %d pings' % (out.count(b'color:silver'), pings))
        temps = [n for n in os.listdir(d) if n.endswith('.tmp')]
        if len(temps) > kills[0]:
            faults.append('%d temporary files after %d kills' % (len(temps), kills[0]))
        # Leftovers of killed rewrites go with the next rewrite of their file once ten minutes old.
        # The derived files (which may be deleted any time) are removed, so the pages below make
        # each anew.
        old = time.time() - 700
        for n in temps:
            os.utime(d + n, (old, old))
        for n in ('access.cnt', 'trackback.idx', 'comment.idx', 'cindex.sum'):
            if os.path.exists(d + n):
                os.remove(d + n)
        time.sleep(2.1)
        run_velm(install, 'demo+tv+' + ART, '', {}, set(), threading.Lock())
        run_velm(install, 'demo', '', {'HTTP_USER_AGENT': 'agent-0'}, set(), threading.Lock())
        left = [n for n in os.listdir(d) if n.endswith('.tmp') and not n.startswith('.cindex')]
        if left:
            faults.append('stale temporaries stay: %s' % left[:5])
        total = sum(len(a) for a in acked.values())
        print('%d requests acknowledged, %d kills, %d temporaries left by kills' % (total, kills[0], len(temps)))
        for f in faults[:20]:
            print('FAIL', f)
        print('%d passed, %d failed' % (len(WRITERS), len(faults)))
        return 1 if faults or total == 0 or kills[0] == 0 else 0
    finally:
        shutil.rmtree(install, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
