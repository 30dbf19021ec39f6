#!/usr/bin/env bash
# Requests per second through lighttpd under wrk (2 threads, 8 connections): the demo blog's top
# page, a single article and the feed against a trivial static C CGI in the same run, alternating,
# several rounds. Prints each pair and the ratio of the medians.
#   bench/wrk_compare.sh build/velm.exe build/trivial_cgi [seconds per run] [rounds]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
velm=$1 trivial=$2 secs=${3:-5} rounds=${4:-3}
top=$(mktemp -d /tmp/velm-wrk-XXXXXX)
root=$top/www
trap 'kill $pid 2>/dev/null || true; rm -rf "$top"' EXIT
mkdir -p "$root/images/demo" "$root/template" "$root/log" "$root/velmsystem/demo"
cp "$velm" "$root/velm.exe"
cp "$trivial" "$root/trivial.exe"
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
sed "s|^SYSTEMURL=.*|SYSTEMURL=http://127.0.0.1:$port/|" "$repo/deploy/velm.ini" | sed 's/$/\r/' > "$root/velm.ini"
printf '"demo","demo","bench"\r\n' > "$root/velmsystem/account.ini"
/usr/bin/python3 "$repo/deploy/demo/make_demo.py" "$root" demo demo >/dev/null
sed -e "s|@ROOT@|$root|g" -e "s|@PORT@|$port|g" "$repo/deploy/lighttpd.conf.in" > "$top/lighttpd.conf"
sed -i 's|^accesslog.filename.*||' "$top/lighttpd.conf"
/usr/sbin/lighttpd -D -f "$top/lighttpd.conf" & pid=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/trivial.exe" && break; sleep 0.1; done
article=$(/usr/bin/python3 -c 'import sys; print(open(sys.argv[1],"rb").read().split(b"\r\n")[-2].split(b"\",\"")[1].decode())' "$root/velmsystem/demo/cindex.txt")
rps() { wrk -t2 -c8 -d"${secs}s" "http://127.0.0.1:$port/$1" | awk '/Requests\/sec/{print $2}'; }
for page in "velm.exe?demo" "velm.exe?demo+sl+$article" "velm.exe?demo+rss20"; do
  t=() v=()
  for _ in $(seq "$rounds"); do t+=("$(rps trivial.exe)"); v+=("$(rps "$page")"); done
  /usr/bin/python3 - "$page" "${t[*]}" "${v[*]}" <<'PY'
import statistics, sys
page, t, v = sys.argv[1], list(map(float, sys.argv[2].split())), list(map(float, sys.argv[3].split()))
print('%-60s trivial %s  velm %s  ratio %.0f%%' % (page[:60], t, v, 100 * statistics.median(v) / statistics.median(t)))
PY
done
