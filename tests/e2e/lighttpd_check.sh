#!/usr/bin/env bash
# velm.exe through a real lighttpd on a free loopback port: the error page, an empty answer, the
# login cookies, and the data folder kept from the web.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
top=$(mktemp -d /tmp/velm-lighttpd-XXXXXX)
root=$top/www   # the served folder; the configuration stays outside it
trap 'kill $pid 2>/dev/null || true; rm -rf "$top"' EXIT
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
url=http://127.0.0.1:$port
mkdir -p "$root/velmsystem/owner" "$root/images" "$root/log"
cp "$1" "$root/velm.exe"
printf 'CHARSET=shift_jis\r\nSYSTEMURL=%s/\r\n' "$url" > "$root/velm.ini"
printf '"demo","owner","secret"\r\n' > "$root/velmsystem/account.ini"
sed -e "s|@ROOT@|$root|g" -e "s|@PORT@|$port|g" "$repo/deploy/lighttpd.conf.in" > "$top/lighttpd.conf"
/usr/sbin/lighttpd -D -f "$top/lighttpd.conf" & pid=$!
for _ in $(seq 50); do curl -s -o /dev/null "$url/" && break; sleep 0.1; done
fail=0
check() { if [ "$2" != "$3" ]; then echo "FAIL $1: got [$2] want [$3]"; fail=1; else echo "ok   $1"; fi; }
check "unknown account" "$(curl -s "$url/velm.exe?nosuch" | iconv -f CP932 -t UTF-8 | grep -o '存在しないアカウントです')" "存在しないアカウントです"
check "unknown command is empty" "$(curl -s -w '%{http_code}:%{size_download}' -o /dev/null "$url/velm.exe?demo+zz")" "200:0"
for f in velmsystem/account.ini velmsystem/ velm.ini; do check "$f hidden" "$(curl -s -o /dev/null -w '%{http_code}' "$url/$f")" "403"; done
check "login cookies" "$(curl -s -D - -o /dev/null -d 'loginname=owner&loginpass=secret' "$url/velm.exe?demo+lg" | grep -c '^Set-Cookie: IN[A-Z]*=.*HttpOnly; SameSite=Lax' || true)" "2"
exit $fail
