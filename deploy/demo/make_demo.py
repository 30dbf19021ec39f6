#!/usr/bin/python3
"""Writes the demo blog of one account into a velm installation.

    make_demo.py ROOT ACCOUNT_ID LOGIN_NAME [--now "yyyy/mm/dd hh:nn:ss"] [--force]

ROOT is the folder of velm.exe. The blog goes into the data folder (DATAFOLDER= of
ROOT/velm.ini, else ROOT/velmsystem/) under LOGIN_NAME, its pictures into ROOT/images/ACCOUNT_ID/.
Article dates lie in the three months before --now (default: the current time in Japan).
An account folder that already holds articles is left alone unless --force is given.
"""
import argparse
import datetime
import hashlib
import math
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import content  # noqa: E402
import images  # noqa: E402

STAMP = '%Y/%m/%d %H:%M:%S'


def stamp(t):
    return t.strftime(STAMP)


def article_id(stamp_text):
    return hashlib.sha1(stamp_text.encode('cp932')).hexdigest()


def random_code(rng, length):
    """Each character a digit, a lower-case or an upper-case letter with equal chance."""
    classes = ('0123456789', 'abcdefghijklmnopqrstuvwxyz', 'ABCDEFGHIJKLMNOPQRSTUVWXYZ')
    return ''.join(rng.choice(rng.choice(classes)) for _ in range(length))


def escape(text):
    """The store's escape: < > " and tab; the ampersand stays."""
    return text.replace('<', '&lt;').replace('>', '&gt;').replace('"', '&quot;').replace('\t', ' ')


def record(*fields):
    return '"' + '","'.join(fields) + '"'


def write_lines(path, lines, encoding='cp932'):
    data = ''.join(line + '\r\n' for line in lines).encode(encoding)
    with open(path, 'wb') as f:
        f.write(data)


def write_text(path, text):
    with open(path, 'wb') as f:
        f.write(text.encode('cp932'))


def data_folder(root):
    """DATAFOLDER= of velm.ini (first matching line, key without regard to case)."""
    try:
        with open(os.path.join(root, 'velm.ini'), 'rb') as f:
            for raw in f.read().decode('cp932', 'replace').splitlines():
                if raw[:11].upper() == 'DATAFOLDER=' and raw[11:].strip():
                    value = raw[11:].strip()
                    return value if os.path.isabs(value) else os.path.join(root, value)
                if raw[:11].upper() == 'DATAFOLDER=':
                    break
    except OSError:
        pass
    return os.path.join(root, 'velmsystem')


def article_times(rng, now, count):
    """count distinct creation times spread over the 88 days before now, oldest first, all at
    least an hour in the past."""
    latest = now - datetime.timedelta(hours=1)
    times = set()
    for i in range(count):
        days_back = 88 - i * 88 / (count - 1) + rng.uniform(-0.8, 0.8)
        day = (now - datetime.timedelta(days=max(0.0, days_back))).date()
        t = datetime.datetime(day.year, day.month, day.day, rng.randint(7, 22), rng.randint(0, 59), rng.randint(0, 59))
        if t > latest:
            t = latest.replace(microsecond=0) - datetime.timedelta(minutes=rng.randint(0, 40))
        while t in times:
            t -= datetime.timedelta(seconds=1)
        times.add(t)
    return sorted(times)


def picture(kind, seed):
    """A small landscape picture (sky, sun, hills) whose colours come from seed."""
    rng = random.Random(seed)
    sky_top = [rng.randint(40, 120), rng.randint(90, 170), rng.randint(170, 240)]
    sky_low = [rng.randint(200, 255), rng.randint(180, 235), rng.randint(150, 220)]
    hill = [rng.randint(40, 110), rng.randint(100, 170), rng.randint(40, 100)]
    sun = (rng.uniform(0.2, 0.8), rng.uniform(0.15, 0.4), rng.uniform(0.06, 0.12))
    phase, amp = rng.uniform(0, 6.3), rng.uniform(0.04, 0.1)
    width, height = (200, 150) if kind == 'jpeg' else (160, 120)

    def pixel(x, y):
        u, v = x / width, y / height
        ridge = 0.68 + amp * math.sin(u * 7 + phase) + 0.03 * math.sin(u * 23)
        if v > ridge:
            shade = 1.0 - 0.5 * (v - ridge)
            return tuple(int(c * shade) for c in hill)
        if (u - sun[0]) ** 2 + ((v - sun[1]) * height / width) ** 2 < sun[2] ** 2:
            return (255, 236, 170)
        return tuple(int(a + (b - a) * v / ridge) for a, b in zip(sky_top, sky_low))

    if kind == 'jpeg':
        return images.jpeg_bytes(width, height, pixel)
    return images.png_bytes(width, height, pixel)


def title_image():
    def pixel(x, y):
        u, v = x / 800, y / 110
        return (int(30 + 40 * u + 20 * v), int(60 + 50 * u), int(100 + 60 * (1 - v)))
    return images.png_bytes(800, 110, pixel)


def profile_image():
    def pixel(x, y):
        d = math.hypot(x - 77, y - 60)
        if d < 34:
            return (246, 214, 170)
        if y > 104 and abs(x - 77) < 62 - (154 - y) * 0.4:
            return (70, 110, 150)
        return (232, 228, 216)
    return images.png_bytes(154, 154, pixel)


def build(root, account, login, now, force):
    folder = os.path.join(data_folder(root), login)
    image_folder = os.path.join(root, 'images', account)
    if os.path.exists(os.path.join(folder, 'cindex.txt')) and not force:
        print(f'make_demo: {folder} already holds a blog; left as it is (--force rewrites it)')
        return
    os.makedirs(folder, exist_ok=True)
    os.makedirs(image_folder, exist_ok=True)
    rng = random.Random(20090517)

    categories = []
    for key, name, shown in content.CATEGORIES:
        categories.append((key, random_code(rng, 16), name, shown))
    category_id = {key: cid for key, cid, _, _ in categories}
    write_lines(os.path.join(folder, 'category.txt'),
                [record(cid, escape(name), '1' if shown else '0') for _, cid, name, shown in categories])

    index, made = [], []
    times = article_times(rng, now, len(content.ARTICLES))
    for n, (art, created) in enumerate(zip(content.ARTICLES, times)):
        created_text = stamp(created)
        aid = article_id(created_text)
        updated = created
        if art.get('edited'):
            updated = min(created + datetime.timedelta(hours=rng.randint(2, 30), minutes=rng.randint(0, 59)),
                          now - datetime.timedelta(minutes=5))
        names = []
        for k, (kind, ext) in enumerate(art.get('pictures', []), start=1):
            name = f'{aid}-{k}{ext}'
            with open(os.path.join(image_folder, name), 'wb') as f:
                f.write(picture(kind, f'{n}-{k}'))
            names.append(name)
        if names:
            write_lines(os.path.join(folder, aid + '.iix'), names)
        write_lines(os.path.join(folder, aid + '.txt'), art['body'])
        index.append(record(category_id[art['category']], aid, created_text, stamp(updated),
                            escape(art['title']), '0' if art.get('hidden') else '1'))
        made.append((art, aid, created))
    write_lines(os.path.join(folder, 'cindex.txt'), index)

    comments = []
    for art, aid, created in made:
        for name, lines, state in art.get('comments', []):
            posted = created + datetime.timedelta(hours=rng.randint(1, 20), minutes=rng.randint(0, 59),
                                                  seconds=rng.randint(0, 59))
            posted = min(posted, now - datetime.timedelta(minutes=rng.randint(1, 50)))
            text = ''.join(escape(line) + '<br>' for line in lines)
            fields = [category_id[art['category']], aid, random_code(rng, 16), stamp(posted), escape(name), text]
            if state == 'waiting':
                fields += ['1', f'192.0.2.{rng.randint(2, 250)}']
            elif state == 'approved':
                fields += ['0']
            else:
                fields += ['0', f'198.51.100.{rng.randint(2, 250)}']
            comments.append((posted, record(*fields)))
            created = posted  # replies follow one another
    comments.sort(key=lambda c: c[0])
    write_lines(os.path.join(folder, 'comment.txt'), [line for _, line in comments])

    trackbacks = []
    for target, shown, blog, title, excerpt, url in content.TRACKBACKS:
        _, aid, created = made[target]
        received = min(created + datetime.timedelta(hours=rng.randint(3, 40)), now - datetime.timedelta(minutes=3))
        tb_id = received.strftime('%Y%m%d%H%M%S') + random_code(rng, 3)
        clean = [s.replace('\r', '').replace('\n', '').replace('\t', '').replace('"', '') for s in (blog, title, excerpt, url)]
        trackbacks.append((received, record('1' if shown else '0', stamp(received), tb_id, aid, *clean)))
    trackbacks.sort(key=lambda t: t[0])
    write_lines(os.path.join(folder, 'trackback.txt'), [line for _, line in trackbacks], encoding='utf-8')

    write_lines(os.path.join(folder, 'title.txt'), [content.TITLE, content.TITLE_CELL])
    write_lines(os.path.join(folder, 'style.txt'), content.STYLE)
    write_text(os.path.join(folder, 'customcss.txt'), '\r\n'.join(content.CUSTOM_CSS) + '\r\n')
    write_text(os.path.join(folder, 'profile.txt'), '<br>'.join(content.PROFILE))
    write_text(os.path.join(folder, 'customfooter.txt'), content.FOOTER)
    links = []
    for url, title, group, comment in content.LINKS:
        fields = [random_code(rng, 16), escape(url), escape(title or url)]
        if group is not None:
            fields += [group, comment.replace('"', '&quot;').replace('\t', ' ')]
        links.append(record(*fields))
    write_lines(os.path.join(folder, 'url.link'), links)
    side = []
    for n, box in enumerate(content.SIDEMENU, start=1):
        side += [f'SIDEMENU{n}START'] + [line.replace('@ACCOUNT@', account) for line in box] + [f'SIDEMENU{n}END']
    write_lines(os.path.join(folder, 'sidemenu.txt'), side)

    with open(os.path.join(image_folder, 'titleimage.png'), 'wb') as f:
        f.write(title_image())
    with open(os.path.join(image_folder, 'profileimage.png'), 'wb') as f:
        f.write(profile_image())
    shown_count = sum(1 for art, _, _ in made if not art.get('hidden'))
    print(f'make_demo: {len(made)} articles ({shown_count} public), {len(comments)} comments, '
          f'{len(trackbacks)} trackbacks in {folder}')


def main(argv):
    parser = argparse.ArgumentParser(description='Writes the velm demo blog.')
    parser.add_argument('root')
    parser.add_argument('account')
    parser.add_argument('login')
    parser.add_argument('--now', help='yyyy/mm/dd hh:nn:ss (default: now)')
    parser.add_argument('--force', action='store_true')
    args = parser.parse_args(argv)
    japan = datetime.timezone(datetime.timedelta(hours=9))
    now = (datetime.datetime.strptime(args.now, STAMP) if args.now
           else datetime.datetime.now(japan).replace(tzinfo=None, microsecond=0))
    build(args.root, args.account, args.login, now, args.force)


if __name__ == '__main__':
    main(sys.argv[1:])
