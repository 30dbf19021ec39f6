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
import re
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


class TContext:
    """What a writer's request(n, ctx) may use: its thread's slot, the installation, and go(), which
    runs a request that comes first (killable like the others; None when it was killed)."""
    def __init__(self, install, slot, go):
        self.install, self.slot, self.go = install, slot, go


SPANS = {}  # n -> (start, end) of its last request: a setting saved last must not have ended before it


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
        if not f or len(f) != 4 or (f[2] and not re.fullmatch(r'agent-\d+', f[2])):
            faults.append('access.log line does not parse: %r' % line[:80])
        elif f[2]:  # the article pages of the comment writers log no agent
            seen.add(int(f[2][6:]))
    faults += ['acknowledged view %d missing' % n for n in acked - seen]
    return faults


OWNER = {'HTTP_COOKIE': 'INNAME=owner; INPASS=secret'}
HEX = set('0123456789abcdef')


def form(**f):
    from urllib.parse import quote
    return '&'.join('%s=%s' % (k, quote(v.encode('cp932'), safe='')) for k, v in f.items())


def sjis(text):
    return text.encode('cp932')


def page_done(out):
    return out.rstrip().endswith(b'</html>')


# ---- Comments: the picture code of the article page, then the post; moderation of own posts ----

COMMENTS = {}  # n -> (kind, checkid, comment id once known)


def key_of(install, checkid):
    for line in lines_of(install, 'keylist.txt', 'cp932'):
        f = fields(line)
        if f and len(f) == 4 and f[2] == checkid:
            return f[3]
    return None


def post_comment(n, ctx, kind):
    got = ctx.go('demo+sl+' + ART, '', {})
    if not got:
        return None
    m = re.search(rb'name="checkid" value="([0-9A-Za-z]{32})"', got[1])
    code = m and key_of(ctx.install, m.group(1).decode())
    if not code:
        return None
    COMMENTS[n] = (kind, m.group(1).decode(), None)
    body = form(checkid=m.group(1).decode(), category='c1', commentname='%s-%d' % (kind, n), checkkey=code,
                comment='ctext-%d' % n)
    return 'demo+sm+' + ART, body, {}


def comment_id_of(install, name):
    for line in lines_of(install, 'comment.txt', 'cp932'):
        f = fields(line)
        if f and len(f) == 8 and f[4] == name:
            return f[2]
    return None


def moderate(n, ctx):
    """Posts its own comment, then approves it (odd n) or deletes it (even n)."""
    first = post_comment(n, ctx, 'mod')
    if not first:
        return None
    got = ctx.go(*first)
    if not got or not comment_acked(got[1]):
        return None
    cid = comment_id_of(ctx.install, 'mod-%d' % n)
    if not cid:
        return None
    COMMENTS[n] = ('vm' if n % 2 else 'dm', COMMENTS[n][1], cid)
    if n % 2:
        return 'demo+vm', form(viewclogid=ART, viewcommentid=cid), OWNER
    return 'demo+dm', form(delclogid=ART, delcommentid=cid), OWNER


def comment_acked(out):
    return sjis('コメントを行いました') in out and page_done(out)


def moderation_acked(n, out):
    cid = COMMENTS.get(n, (0, 0, None))[2]
    if not cid or not page_done(out) or ('name="elogid" value="%s"' % ART).encode() not in out:
        return False  # not the article's edit page
    if n % 2:  # approved: no longer among the waiting comments
        waiting = out.split(b'name="viewcommentid"', 1)
        return len(waiting) == 1 or ('value="%s"' % cid).encode() not in waiting[1].split(b'</select>', 1)[0]
    return ('value="%s"' % cid).encode() not in out


def check_comments(install, acked):
    """Comment lines parse; acknowledged posts are there (deleted ones are gone, approved ones shown);
    a solved picture code is gone from the key list; the article page shows every approved comment."""
    faults, stored, shown = [], {}, 0
    for line in lines_of(install, 'comment.txt', 'cp932'):
        f = fields(line)
        # An approved line ends in its flag: the poster's address goes (seven fields).
        if (not f or len(f) not in (7, 8) or f[1] != ART or len(f[2]) != 16 or f[6] not in ('0', '1')
                or not re.fullmatch(r'(post|mod)-\d+', f[4]) or f[5] != 'ctext-%s<br>' % f[4].split('-')[1]):
            faults.append('comment line does not parse: %r' % line[:80])
            continue
        stored[int(f[4].split('-')[1])] = f
        shown += f[6] == '0'
    keys = set()
    for line in lines_of(install, 'keylist.txt', 'cp932'):
        f = fields(line)
        if not f or len(f) != 4 or len(f[2]) != 32 or len(f[3]) != 5:
            faults.append('keylist line does not parse: %r' % line[:80])
        else:
            keys.add(f[2])
    for n in sorted(acked):
        kind, checkid, cid = COMMENTS[n]
        if checkid in keys:
            faults.append('the solved code of comment %d is still in the key list' % n)
        if kind == 'dm' and n in stored:
            faults.append('deleted comment %d is still there' % n)
        elif kind != 'dm' and n not in stored:
            faults.append('acknowledged comment %d missing' % n)
        elif kind == 'vm' and stored[n][6] != '0':
            faults.append('approved comment %d still waits' % n)
    code, out = run_velm(install, 'demo+sl+' + ART, '', {}, set(), threading.Lock())
    if out.count(b'ctext-') != shown:
        faults.append('article page shows %d of %d approved comments' % (out.count(b'ctext-'), shown))
    return faults


# ---- Articles: new ones, and changes of one article per writer thread with a picture upload ----

def upload(ctx, n):
    b = '----crash%d' % n
    body = ('--%s\r\nContent-Disposition: form-data; name="uploadimage"; filename="p%d.jpg"\r\n'
            'Content-Type: image/jpeg\r\n\r\npic-%d\r\n--%s--\r\n' % (b, n, n, b))
    return ctx.go('demo+iu', body, dict(OWNER, CONTENT_TYPE='multipart/form-data; boundary=' + b))


def new_article(n, ctx):
    if n % 3 == 0 and not upload(ctx, n):
        return None
    return 'demo+ss', form(category='c1', subject='new-%d' % n, cvisible='1',
                           ucontent='<BIMAGE src="1">\r\nnew-%d a\r\nnew-%d b' % (n, n)), OWNER


def target(slot):
    return hashlib.sha1(b'2026/10/01 10:00:%02d' % slot).hexdigest()


EDITS = {}  # n -> edited article


def edit_article(n, ctx):
    if not upload(ctx, n):
        return None
    EDITS[n] = target(ctx.slot)
    # The second picture is kept: the first (saved) one is dropped, so pictures are renamed.
    return 'demo+ss', form(elogid=EDITS[n], category='c1', subject='edit-%d' % n, cvisible='1',
                           ucontent='<BIMAGE src="2">\r\nedit-%d a\r\nedit-%d b' % (n, n)), OWNER


def check_articles(install, acked_new, acked_edit):
    d = os.path.join(install, 'velmsystem/owner/')
    images = os.path.join(install, 'images/demo/')
    faults, titles = [], {}
    for line in lines_of(install, 'cindex.txt', 'cp932'):
        f = fields(line)
        if not f or len(f) != 6 or set(f[1]) - HEX or len(f[1]) != 40 or f[1] in titles:
            faults.append('index line does not parse: %r' % line[:80])
        else:
            titles[f[1]] = f[4]
    news = {}
    for aid, title in titles.items():
        try:
            body = open(d + aid + '.txt', 'rb').read().decode('cp932')
        except (FileNotFoundError, UnicodeDecodeError) as e:
            faults.append('article %s (%s): body %s' % (aid[:8], title, type(e).__name__))
            continue
        text = [l for l in body.split('\r\n') if l and not l.startswith('<BIMAGE')]
        if title.startswith(('new-', 'edit-')) and text != ['%s a' % title, '%s b' % title]:
            faults.append('article %s is titled %s but its body is %r' % (aid[:8], title, text[:2]))
        if title.startswith('new-'):
            news[int(title[4:])] = aid
        names = [l for l in open(d + aid + '.iix', 'rb').read().decode().split('\r\n') if l] \
            if os.path.exists(d + aid + '.iix') else []
        for name in names:
            try:
                data = open(images + name, 'rb').read()
            except FileNotFoundError:
                faults.append('article %s lists picture %s, which is missing' % (aid[:8], name))
                continue
            if not re.fullmatch(rb'pic-\d+', data) or not name.startswith(aid + '-'):
                faults.append('picture %s of article %s is broken' % (name, aid[:8]))
        # Tags are renumbered against the pictures a save has (without pictures they stay as written).
        for src in re.findall(r'<BIMAGE src="(\d+)">', body) if names else []:
            if not 1 <= int(src) <= len(names):
                faults.append('article %s shows picture %s of %d' % (aid[:8], src, len(names)))
    faults += ['acknowledged article %d missing' % n for n in acked_new - set(news)]
    # The last acknowledged change of each article is there, or a later one that ran to its end.
    for slot in set(ctx_slot for ctx_slot in range(20)):
        aid = target(slot)
        mine = [n for n in acked_edit if EDITS.get(n) == aid]
        if not mine:
            continue
        last = max(mine)
        title = titles.get(aid, '')
        if not title.startswith('edit-') or int(title[5:]) < last:
            faults.append('article %s: acknowledged change %d lost (now %r)' % (aid[:8], last, title))
    for line in lines_of(install, 'workatt.txt', 'cp932'):
        f = fields(line)
        if not f or len(f) != 3 or not os.path.exists(images + f[0]):
            faults.append('pending picture line does not parse or names no file: %r' % line[:80])
    return faults


ACKED = {}  # writer name -> acknowledged n (filled when the run ends)


# ---- Settings files replaced whole: the colour palette, the profile and a block list ----

def check_setting(file, pattern, count):
    """The file holds one save's lines, whole; the last acknowledged save or one that had not ended
    before it began."""
    def check(install, acked):
        lines = lines_of(install, file, 'cp932')
        if not acked and not lines:
            return []
        found = set()
        for line in lines:
            m = re.fullmatch(pattern, line)
            if not m:
                return ['%s line does not parse: %r' % (file, line[:80])]
            found.add(int(m.group(1)))
        if len(found) != 1 or len(lines) != count:
            return ['%s is not one save whole: %d lines of saves %s' % (file, len(lines), sorted(found)[:5])]
        v = found.pop()
        if acked:
            last = max(acked, key=lambda n: SPANS[n][1])
            if v != last and SPANS.get(v, (0, 0))[1] < SPANS[last][0]:
                return ['%s holds save %d, older than the acknowledged save %d' % (file, v, last)]
        return []
    return check


WRITERS = [
    TWriter('ping', lambda n, ctx: ('demo+tb+' + ART, 'url=http://peer.example/%d&title=%%E6%%97%%A5&excerpt=x' % n, {}),
            lambda n, out: out.endswith(b'<message>Trackback Success</message>\r\n</response>\r\n'), check_pings),
    TWriter('view', lambda n, ctx: ('demo', '', {'HTTP_USER_AGENT': 'agent-%d' % n}),
            lambda n, out: page_done(out), check_views),
    TWriter('new article', new_article, lambda n, out: sjis('記事を新規保存しました') in out and page_done(out),
            lambda install, acked: []),
    TWriter('changed article', edit_article, lambda n, out: sjis('記事を修正保存しました') in out and page_done(out),
            lambda install, acked: check_articles(install, ACKED['new article'], acked)),
    TWriter('comment', lambda n, ctx: post_comment(n, ctx, 'post'), lambda n, out: comment_acked(out),
            lambda install, acked: check_comments(install, acked | ACKED['moderation'])),
    TWriter('moderation', moderate, moderation_acked, lambda i, a: []),
    TWriter('colours', lambda n, ctx: ('demo+hs', form(**{k: v for i in range(3) for k, v in (
                ('colorname%d' % i, 'col%d-%d' % (n, i)), ('colorcode%d' % i, '#%06d' % i))}), OWNER),
            lambda n, out: sjis('設定を保存しました') in out and page_done(out),
            check_setting('usercolor.txt', r'"col(\d+)-\d","#\d{6}"', 3)),
    TWriter('profile', lambda n, ctx: ('demo+ps', form(userprofile='prof-%d\r\n自己紹介' % n), OWNER),
            lambda n, out: sjis('プロフィールの保存を行いました') in out and page_done(out),
            check_setting('profile.txt', r'prof-(\d+)<br>自己紹介', 1)),
    TWriter('block list', lambda n, ctx: ('demo+bs', form(commentspam='\r\n'.join(
                'ZZBLOCK%d-%d' % (n, i) for i in range(5))), OWNER),
            lambda n, out: sjis('コメントブロックを保存しました') in out and page_done(out),
            check_setting('commentblock.txt', r'ZZBLOCK(\d+)-\d', 5)),
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


def inject_check(velm):
    """A change of an article with two saved pictures (the first dropped, a pending one added),
    killed at its n-th rename, unlink, fsync or write (strace's fault injection): the article is
    afterwards its old version or its new one, whole, with every picture it lists. Not part of the
    suite: a change killed between its picture renames and its index line still shows a mix of the
    two versions until it is saved again (no picture file is lost: the old ones are linked, not
    moved, and deleted only once the new version is stored)."""
    faults = []
    for call in ('rename', 'unlink', 'fsync', 'write'):
        for n in range(1, 40):
            install = tempfile.mkdtemp(prefix='velm-inject-')
            try:
                d, images = os.path.join(install, 'velmsystem/owner/'), os.path.join(install, 'images/demo/')
                os.makedirs(d)
                os.makedirs(images)
                shutil.copy(velm, os.path.join(install, 'velm.exe'))
                open(os.path.join(install, 'velm.ini'), 'wb').write(b'CHARSET=shift_jis\r\n')
                open(os.path.join(install, 'velmsystem/account.ini'), 'wb').write(b'"demo","owner","secret"\r\n')
                aid = target(0)
                open(d + 'cindex.txt', 'w').write('"c1","%s","2026/10/01 10:00:00","2026/10/01 10:00:00","edit-0","1"\r\n' % aid)
                open(d + aid + '.txt', 'w').write('<BIMAGE src="1"><BIMAGE src="2">\r\nedit-0 a\r\nedit-0 b\r\n')
                open(d + aid + '.iix', 'w').write('%s-1.jpg\r\n%s-2.jpg\r\n' % (aid, aid))
                for k in (1, 2):
                    open(images + '%s-%d.jpg' % (aid, k), 'w').write('pic-%d' % k)
                open(images + 'pending0123456789.jpg', 'w').write('pic-3')
                open(d + 'workatt.txt', 'w').write('"pending0123456789.jpg","5","token"\r\n')
                body = form(elogid=aid, category='c1', subject='edit-1', cvisible='1',
                            ucontent='<BIMAGE src="2"><BIMAGE src="3">\r\nedit-1 a\r\nedit-1 b')
                env = {'PATH': '/usr/bin:/bin', 'TZ': 'Asia/Tokyo', 'GATEWAY_INTERFACE': 'CGI/1.1',
                       'REQUEST_METHOD': 'POST', 'QUERY_STRING': 'demo+ss', 'REMOTE_ADDR': '127.0.0.1',
                       'HTTP_HOST': '127.0.0.1', 'CONTENT_LENGTH': str(len(body)),
                       'CONTENT_TYPE': 'application/x-www-form-urlencoded', 'HTTP_COOKIE': OWNER['HTTP_COOKIE']}
                p = subprocess.run(['strace', '-o', '/dev/null', '-e', 'trace=' + call, '-e',
                                    'inject=%s:signal=SIGKILL:when=%d' % (call, n), os.path.join(install, 'velm.exe')],
                                   input=body.encode(), env=env, cwd=install, capture_output=True)
                found = check_articles(install, set(), set())
                # The pictures each version shows: old 1, 2; new: old 2 and the pending one.
                title = lines_of(install, 'cindex.txt', 'cp932')[0].split('","')[4]
                names = lines_of(install, aid + '.iix', 'cp932')
                shown = [open(images + x).read() if os.path.exists(images + x) else None for x in names]
                want = {'edit-0': ['pic-1', 'pic-2'], 'edit-1': ['pic-2', 'pic-3']}.get(title)
                if shown != want:
                    found.append('%s pictures %s, not %s' % (title, shown, want))
                faults += ['killed at %s %d: %s' % (call, n, f) for f in found]
                if p.returncode == 0:
                    break
            finally:
                shutil.rmtree(install, ignore_errors=True)
    for f in faults[:20]:
        print('FAIL', f)
    print('injected kills: %d faults' % len(faults))
    return 1 if faults else 0


def main():
    velm = sys.argv[1]
    if '--inject' in sys.argv:
        return inject_check(velm)
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 20
    install = tempfile.mkdtemp(prefix='velm-crash-')
    try:
        os.makedirs(os.path.join(install, 'velmsystem/owner'))
        shutil.copy(velm, os.path.join(install, 'velm.exe'))
        open(os.path.join(install, 'velm.ini'), 'wb').write(b'CHARSET=shift_jis\r\n')
        open(os.path.join(install, 'velmsystem/account.ini'), 'wb').write(b'"demo","owner","secret"\r\n')
        d = os.path.join(install, 'velmsystem/owner/')
        images = os.path.join(install, 'images/demo/')
        os.makedirs(images)
        # One article for pings and comments; one per writer thread with two pictures, for its changes.
        index = '"c1","%s","2026/11/01 10:00:00","2026/11/01 10:00:00","t","1"\r\n' % ART
        for slot in range(20):
            aid, stamp = target(slot), '2026/10/01 10:00:%02d' % slot
            index += '"c1","%s","%s","%s","target-%d","1"\r\n' % (aid, stamp, stamp, slot)
            open(d + aid + '.txt', 'w').write('<BIMAGE src="1"><BIMAGE src="2">\r\nfirst\r\n')
            open(d + aid + '.iix', 'w').write('%s-1.jpg\r\n%s-2.jpg\r\n' % (aid, aid))
            for k in (1, 2):
                open(images + '%s-%d.jpg' % (aid, k), 'w').write('pic-0')
        open(d + 'cindex.txt', 'w').write(index)
        open(d + ART + '.txt', 'w').write('text\r\n')
        open(d + 'style.txt', 'w').write('USETRACKBACK=1\r\nUSECOMMENT=1\r\nUSEVIEWCOMMENT=1\r\nUSEKEYIMAGE=1\r\n')

        procs, lock = set(), threading.Lock()
        acked = {w.name: set() for w in WRITERS}
        counter = [0]
        stop = time.time() + seconds
        kills = [0]

        def go(query, body, env):
            code, out = run_velm(install, query, body, env, procs, lock)
            return (code, out) if code == 0 else None

        def writer(k):
            w = WRITERS[k % len(WRITERS)]
            ctx = TContext(install, k, go)
            while time.time() < stop:
                with lock:
                    counter[0] += 1
                    n = counter[0]
                req = w.request(n, ctx)
                if not req:
                    continue
                start = time.time()
                code, out = run_velm(install, *req, procs, lock)
                SPANS[n] = (start, time.time())
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
        ACKED.update(acked)
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
        # A folder of many articles is swept by one write in so many: a bounded number of writes.
        for _ in range(200):
            left = [n for n in os.listdir(d) if n.endswith('.tmp') and not n.startswith('.cindex')]
            if not left:
                break
            run_velm(install, 'demo', '', {'HTTP_USER_AGENT': 'agent-0'}, set(), threading.Lock())
        if left:
            faults.append('stale temporaries stay: %s' % left[:5])
        total = sum(len(a) for a in acked.values())
        print('%d requests acknowledged, %d kills, %d temporaries left by kills' % (total, kills[0], len(temps)))
        for f in faults[:20]:
            print('FAIL', f)
        print(', '.join('%s %d' % (w.name, len(acked[w.name])) for w in WRITERS))
        print('%d passed, %d failed' % (len(WRITERS), len(faults)))
        return 1 if faults or total == 0 or kills[0] == 0 else 0
    finally:
        shutil.rmtree(install, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
