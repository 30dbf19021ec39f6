#!/usr/bin/env bash
# velm.exe through a real lighttpd on a free loopback port: words from QUERY_STRING, the error page,
# an empty answer, and the data folder kept from the web.
set -euo pipefail
exe=$1
repo=$(cd "$(dirname "$0")/../.." && pwd)
root=$(mktemp -d /tmp/velm-lighttpd-XXXXXX)
trap 'kill $pid 2>/dev/null || true; rm -rf "$root"' EXIT
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$root/velmsystem/owner" "$root/images" "$root/log"
cp "$exe" "$root/velm.exe"
printf 'CHARSET=shift_jis\r\nSYSTEMURL=http://127.0.0.1:%s/\r\n' "$port" > "$root/velm.ini"
printf '"demo","owner","secret"\r\n' > "$root/velmsystem/account.ini"
sed -e "s|@ROOT@|$root|g" -e "s|@PORT@|$port|g" "$repo/deploy/lighttpd.conf.in" > "$root/lighttpd.conf"
/usr/sbin/lighttpd -D -f "$root/lighttpd.conf" & pid=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
fail=0
check() { if [ "$2" != "$3" ]; then echo "FAIL $1: got [$2] want [$3]"; fail=1; else echo "ok   $1"; fi; }
msg=$(curl -s "http://127.0.0.1:$port/velm.exe?nosuch" | iconv -f CP932 -t UTF-8)
check "unknown account" "$(echo "$msg" | grep -o '存在しないアカウントです')" "存在しないアカウントです"
check "unknown command is empty" "$(curl -s -w '%{http_code}:%{size_download}' -o /dev/null "http://127.0.0.1:$port/velm.exe?demo+zz")" "200:0"
check "encoded words" "$(curl -s "http://127.0.0.1:$port/velm.exe?%64emo+zz" | wc -c)" "0"
check "account.ini hidden" "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/velmsystem/account.ini")" "403"
check "velm.ini hidden" "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/velm.ini")" "403"
cookies=$(curl -s -D - -o /dev/null -d 'loginname=owner&loginpass=secret' "http://127.0.0.1:$port/velm.exe?demo+lg" | grep -c '^Set-Cookie: IN[A-Z]*=.*HttpOnly; SameSite=Lax' || true)
check "login cookies" "$cookies" "2"
exit $fail
