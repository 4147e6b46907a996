#!/usr/bin/env bash
# Everything from a fresh Debian 12 machine to the running program: packages,
# build, the stand-in ORCA server with its demo data, and the program in a
# fresh application folder (build/demo-app) connected to it.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh"
build="${MINATORI_BUILD_DIR:-$here/build}"

app="$build/demo-app"
rm -rf "$app"
mkdir -p "$app"
cp "$build/bin/minatori" "$app/"

server_pid=""
cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true; }
trap cleanup EXIT

if [ -x "$build/bin/orca-standin" ]; then
  portfile="$app/standin.port"
  "$build/bin/orca-standin" --demo --port 0 --port-file "$portfile" \
      --user demo --key demo-key >"$app/standin.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 1 100); do [ -s "$portfile" ] && break; sleep 0.1; done
  port="$(cut -d' ' -f1 "$portfile")"
  # The demo clinic's own institution code and name, as in the demo data.
  printf '[PARAMA]\r\nURL=http://127.0.0.1:%s/api/\r\nAPIUSER=demo\r\nAPIKEY=demo-key\r\nKIKANCD=9900011\r\nKIKANNAME=みなと見本クリニック\r\nREFRESH=60\r\nSAVETXT=\r\n[COKBN]\r\nCHCK=1\r\n[UPDATE]\r\nMODE=1\r\n' \
      "$port" >"$app/user.ini"
  echo "Stand-in ORCA server with demo data on http://127.0.0.1:$port/api/"
else
  printf '[UPDATE]\r\nMODE=1\r\n' >"$app/user.ini"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: set DISPLAY (or run under xvfb-run) to see the window." >&2
fi
"$app/minatori"
