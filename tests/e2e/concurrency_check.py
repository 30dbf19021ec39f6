"""Concurrency through lighttpd: 200 trackback pings and 500 logged page views sent 20 at a time.
Every ping and every view gives exactly one line, and every line of the files parses.

    python3 concurrency_check.py path/to/velm.exe
"""
import hashlib
import sys
from concurrent.futures import ThreadPoolExecutor

from webserver import Site

ART = hashlib.sha1(b'2026/11/01 10:00:00').hexdigest()


def fields(line):
    """The fields of a writer's record line ("a","b",...), or None."""
    if len(line) < 2 or not (line.startswith('"') and line.endswith('"')):
        return None
    return line[1:-1].split('","')


def main():
    fails = []
    with Site(sys.argv[1], 'lighttpd') as site:
        site.write('velmsystem/owner/cindex.txt', '"c1","%s","2026/11/01 10:00:00","2026/11/01 10:00:00","t","1"\r\n' % ART)
        site.write('velmsystem/owner/style.txt', 'USETRACKBACK=1\r\n')

        def ping(i):
            return site.post('/velm.exe?demo+tb+' + ART, 'url=http://peer.example/%d&title=%%E6%%97%%A5%d&blog_name=b' % (i, i))

        def view(i):
            return site.get('/velm.exe?demo', headers={'User-Agent': 'agent-%d' % i})

        jobs = [(ping, i) for i in range(200)] + [(view, i) for i in range(500)]
        jobs.sort(key=lambda j: (j[1] * 7919) % 700)  # pings and views interleaved
        with ThreadPoolExecutor(20) as pool:
            results = list(pool.map(lambda j: (j, j[0](j[1])), jobs))
        for (fn, i), (status, _, body) in results:
            if status != 200 or (fn is ping and b'<error>0</error>' not in body):
                fails.append('%s %d: %d %r' % (fn.__name__, i, status, body[:80]))

        tb = site.read('velmsystem/owner/trackback.txt').decode('utf-8').split('\r\n')
        tb = [l for l in tb if l]
        urls = sorted(int(f[7].rsplit('/', 1)[1]) for f in map(fields, tb) if f and len(f) == 8 and f[3] == ART)
        if len(tb) != 200 or urls != list(range(200)):
            fails.append('trackback.txt: %d lines, %d parse' % (len(tb), len(urls)))
        log = site.read('velmsystem/owner/access.log').decode('cp932').split('\r\n')
        log = [l for l in log if l]
        agents = sorted(int(f[2].split('-')[1]) for f in map(fields, log) if f and len(f) == 4 and f[2].startswith('agent-'))
        if len(log) != 500 or agents != list(range(500)):
            fails.append('access.log: %d lines, %d parse' % (len(log), len(agents)))
    for f in fails:
        print('FAIL', f)
    print('%d passed, %d failed' % (700 - len(fails) if not fails else 0, len(fails)))
    return 1 if fails else 0


if __name__ == '__main__':
    sys.exit(main())
