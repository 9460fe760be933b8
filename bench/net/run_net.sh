#!/usr/bin/env bash
# Downloads a 100 MB file from the loopback HTTP server of the network tests with HTTPダウンロード
# and with curl's command-line tool, and prints both times. Usage: run_net.sh [morivel] [MB]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
morivel="$(realpath "${1:-$here/../../build/morivel}")"
megabytes="${2:-100}"
work="$(mktemp -d)"
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

mkdir "$work/www"
head -c "$((megabytes * 1024 * 1024))" /dev/urandom > "$work/www/big.bin"
/usr/bin/python3 "$here/../../tests/net/http_server.py" 0 "$work/www" > "$work/port" &
server_pid=$!
for _ in $(seq 100); do grep -q ready "$work/port" 2>/dev/null && break; sleep 0.1; done
port="$(awk '{print $2}' "$work/port")"
url="http://127.0.0.1:$port/big.bin"

printf '進行度表示ダイアログは0\n「%s」を「%s」へHTTPダウンロード\n' "$url" "$work/m.bin" |
  iconv -f utf-8 -t cp932 > "$work/get.mrv"

best() {  # the best of three runs of a command, in seconds
  local best_time=""
  for _ in 1 2 3; do
    local start end
    start=$(date +%s.%N)
    "$@" > /dev/null
    end=$(date +%s.%N)
    local t
    t=$(echo "$end - $start" | bc)
    if [ -z "$best_time" ] || [ "$(echo "$t < $best_time" | bc)" = 1 ]; then best_time=$t; fi
  done
  echo "$best_time"
}

m=$(best env QT_QPA_PLATFORM=offscreen "$morivel" -console "$work/get.mrv")
cmp -s "$work/m.bin" "$work/www/big.bin" || { echo "morivel's copy differs" >&2; exit 1; }
c=$(best curl -s -o "$work/c.bin" "$url")
cmp -s "$work/c.bin" "$work/www/big.bin" || { echo "curl's copy differs" >&2; exit 1; }
printf 'HTTPダウンロード %d MB: morivel %.2f s, curl %.2f s\n' "$megabytes" "$m" "$c"
