#!/usr/bin/env bash
# The installed package, tried as a clinic would use it. Run before a release,
# as root, on a throw-away Debian 12 machine (it installs packages and adds a
# user):
#
#   tools/check-installed-package.sh [build-package/minatori_<version>_amd64.deb]
#
# 1. apt installs the package (and what it depends on); its desktop entry must
#    pass desktop-file-validate.
# 2. An ordinary user (minatori-check, made when missing, starting with an
#    empty home) starts `minatori` under Xvfb; xdotool presses 詳細設定 and
#    enters the connection of the stand-in ORCA server with its demo data
#    (build/bin/orca-standin), presses 保存して閉じる, then 患者薬剤情報 and
#    double-clicks a patient of the demo reception list.
# 3. The program must have kept every file in ~/.local/share/minatori/ (mode
#    0700, its files 0600) and nothing beside /usr/bin/minatori; the log must
#    show the requests.
#
# Pictures of each step land in build-package/installed-check/ (look at them).
# Needs the package's build folder (scripts/package.sh makes it; the stand-in
# comes from there too); installs xvfb, xdotool and imagemagick when missing.
# The package stays installed.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${MINATORI_PACKAGE_BUILD_DIR:-$here/build-package}"
deb="${1:-$(ls "$build"/minatori_*_amd64.deb 2>/dev/null | head -n1)}"
user=minatori-check
out="$build/installed-check"

[ "$(id -u)" -eq 0 ] || { echo "run as root" >&2; exit 2; }
[ -f "$deb" ] || { echo "no package: run ./scripts/package.sh first" >&2; exit 2; }
[ -x "$build/bin/orca-standin" ] || { echo "no $build/bin/orca-standin: build first" >&2; exit 2; }

fail() { echo "FAIL: $*" >&2; exit 1; }

tools=()
for p in xvfb xdotool imagemagick desktop-file-utils; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || tools+=("$p")
done
if [ ${#tools[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${tools[@]}"
fi

echo "== installing $deb"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$(realpath "$deb")"
version="$(dpkg-deb -f "$deb" Version)"
[ "$(dpkg-query -W -f='${Version}' minatori)" = "$version" ] || fail "installed version"
desktop-file-validate /usr/share/applications/minatori.desktop || fail "desktop entry"
[ -f /usr/share/minatori/manual/minatori-manual.pdf ] || fail "manual missing"

id "$user" >/dev/null 2>&1 || useradd -m -s /bin/bash "$user"
home="$(getent passwd "$user" | cut -d: -f6)"
rm -rf "$home/.local/share/minatori"

rm -rf "$out"
mkdir -p "$out"
chmod 777 "$out"

portfile="$(mktemp)"
"$build/bin/orca-standin" --demo --port 0 --port-file "$portfile" --user demo --key demo-key \
  >"$out/standin.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; rm -f "$portfile"' EXIT
for _ in $(seq 1 100); do [ -s "$portfile" ] && break; sleep 0.1; done
port="$(cut -d' ' -f1 "$portfile")"

# The session, as the user. Positions are the windows' own (client area at
# 96 dots per inch, no window manager).
cat >"$out/session.sh" <<EOF
set -eu
export LANG=C.UTF-8
cd "\$HOME"
shot() { import -window root "$out/\$1.png"; }
window() { # ids of the visible windows of the program titled \$1, newest last
  for _ in \$(seq 1 100); do
    found=""
    for w in \$(xdotool search --onlyvisible --classname minatori 2>/dev/null); do
      [ "\$(xdotool getwindowname "\$w")" = "\$1" ] && found="\$found \$w"
    done
    [ -n "\$found" ] && { echo \$found; return 0; }
    sleep 0.2
  done
  return 1
}
click() { xdotool mousemove --window "\$1" "\$2" "\$3" click 1; sleep 0.5; }
dblclick() { xdotool mousemove --window "\$1" "\$2" "\$3" click --repeat 2 --delay 80 1; sleep 0.5; }
type_into() { click "\$1" "\$2" "\$3"; xdotool key ctrl+a; xdotool type --delay 20 "\$4"; }

minatori >"$out/minatori.out" 2>&1 &
menu="\$(window ミナトリ)"
sleep 1
shot 1-main-menu

click "\$menu" 210 140                      # 詳細設定
setting="\$(window WebORCA設定)"
click "\$setting" 25 56                     # クラウド
type_into "\$setting" 300 26 "http://127.0.0.1:$port/api/"
type_into "\$setting" 200 124 demo          # APIユーザー
type_into "\$setting" 200 92 demo-key       # APIキー
type_into "\$setting" 150 222 9900011       # 医療機関CD
click "\$setting" 356 92                    # 接続テスト
sleep 2
shot 2-settings
click "\$setting" 490 340                   # 保存して閉じる
sleep 1

click "\$menu" 210 70                       # 患者薬剤情報
sleep 1
viewer="\$(window ミナトリ | tr ' ' '\\n' | grep -vx "\$menu" | tail -n1)"
sleep 8                                     # the list and its marks
shot 3-viewer-list
dblclick "\$viewer" 160 213                 # the third patient of the list
sleep 5
shot 4-viewer-patient
click "\$viewer" 315 124                    # 閉じる
sleep 1
click "\$menu" 367 20                       # 閉じる
sleep 1
EOF
chmod 644 "$out/session.sh"

echo "== starting minatori as $user"
su - "$user" -c "xvfb-run -a -s '-screen 0 1400x900x24' bash '$out/session.sh'"

echo "== files of the run"
data="$home/.local/share/minatori"
ls -la "$data"
[ "$(stat -c %a "$data")" = 700 ] || fail "$data is not 0700"
for f in user.ini Log.txt PatientCache.csv; do
  [ -f "$data/$f" ] || fail "$f missing in $data"
done
ls "$data"/Res_api01rv2_acceptlstv2*.txt >/dev/null || fail "no reception list answer in $data"
for f in "$data"/*; do
  [ -d "$f" ] && continue
  [ "$(stat -c %a "$f")" = 600 ] || fail "$f is not 0600"
done
grep -q "URL=http://127.0.0.1:$port/api/" "$data/user.ini" || fail "settings not saved"
grep -qF "API: api01rv2/acceptlstv2?class=03 -> 200" "$data/Log.txt" || fail "no reception list request in the log"
grep -qF "API: api01rv2/onlinedruggetv2 -> 200" "$data/Log.txt" || fail "no patient loaded"
for f in user.ini Log.txt PatientCache.csv; do
  [ ! -e "/usr/bin/$f" ] || fail "/usr/bin/$f written"
done
echo "OK: minatori $version installed and run as $user; pictures in $out"
