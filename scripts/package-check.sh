#!/usr/bin/env bash
# Builds the Debian package of velk against the loopback sample server, installs it on this
# machine with apt-get, starts the installed velk under Xvfb for a few seconds against the sample
# server, checks that it is still running and that it fetched the notice (and says which of the
# medal feed, flags and hot-search page it fetched), then stops it and removes the package again.
#
#   scripts/package-check.sh [seconds]     # how long velk runs (default 6)
#
# Needs root or sudo for apt-get. A velk package that was installed before is left alone: the
# check refuses to run rather than replace it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-6}"
./scripts/install-deps.sh

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if dpkg-query -W -f='${Status}' velk 2>/dev/null | grep -q 'install ok installed'; then
  echo "package-check: a velk package is already installed; remove it first" >&2
  exit 1
fi

# The same fixed ports as scripts/run.sh: the hosts are compiled into the binary.
HTTP_PORT=18480
HTTPS_PORT=18443
build=build/package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DVELK_BUILD_TESTS=OFF -DVELK_BUILD_BENCHMARKS=OFF \
  -DVELK_NOTICE_HOST="127.0.0.1:$HTTP_PORT" -DVELK_MEDAL_HOST="127.0.0.1:$HTTP_PORT" \
  -DVELK_FLAG_HOST="127.0.0.1:$HTTP_PORT" -DVELK_WEIBO_HOST="127.0.0.1:$HTTPS_PORT" >/dev/null
cmake --build "$build" --target velk
rm -f "$build"/velk_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/velk_*.deb)
echo "package-check: built $deb"

# The metadata as installed, and the dependencies dpkg-shlibdeps declared.
stage=$(mktemp -d)
server_pid=""
app_log=$(mktemp)
server_log=$(mktemp)
ready=$(mktemp -u /tmp/velk-package-check.XXXXXX)
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  if dpkg-query -W -f='${Status}' velk 2>/dev/null | grep -q 'install ok installed'; then
    $SUDO apt-get purge -y -qq velk >/dev/null || true
  fi
  rm -rf "$stage" "$app_log" "$server_log" "$ready"
}
trap cleanup EXIT

dpkg-deb -x "$deb" "$stage"
desktop-file-validate "$stage/usr/share/applications/io.velk.Velk.desktop"
appstreamcli validate --no-net "$stage/usr/share/metainfo/io.velk.Velk.metainfo.xml" >/dev/null
test -f "$stage/usr/share/icons/hicolor/scalable/apps/io.velk.Velk.svg"
depends=$(dpkg-deb -f "$deb" Depends)
echo "package-check: Depends: $depends"
for lib in libqt6widgets6 libqt6gui6 libcurl4 libpcre2-8-0 libgif7 libc6; do
  grep -q "$lib" <<<"$depends" || { echo "package-check: $lib missing from Depends" >&2; exit 1; }
done

export DEBIAN_FRONTEND=noninteractive
apt_log="$stage/apt.log"
$SUDO apt-get install -y -qq "./$deb" >"$apt_log" 2>&1 || { cat "$apt_log" >&2; exit 1; }
test -x /usr/bin/velk

# Every shared library the installed binary and Qt's X11 platform plugin load must come from a
# package that the declared dependencies pull in, so that a fresh system gets them all.
closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
  --no-replaces --no-enhances velk 2>/dev/null | grep -v '^ ' | sed 's/:.*//' | sort -u)
qxcb=$(dpkg -L libqt6gui6 | grep '/platforms/libqxcb.so$')
for file in /usr/bin/velk "$qxcb"; do
  for lib in $(ldd "$file" | awk '/=> \//{print $3}'); do
    owner=$(dpkg -S "$(readlink -f "$lib")" 2>/dev/null | head -n1 | sed 's/[:,].*//') ||
      owner=$(dpkg -S "$lib" 2>/dev/null | head -n1 | sed 's/[:,].*//') || true
    [ -n "$owner" ] || { echo "package-check: no package owns $lib" >&2; exit 1; }
    grep -qx "$owner" <<<"$closure" || {
      echo "package-check: $lib (from $owner) is not pulled in by velk's dependencies" >&2; exit 1; }
  done
done
echo "package-check: installed; every library it loads is declared; starting /usr/bin/velk for ${seconds}s"

python3 sample/server.py --http-port "$HTTP_PORT" --https-port "$HTTPS_PORT" --ready-file "$ready" \
  >/dev/null 2>"$server_log" &
server_pid=$!
for _ in $(seq 100); do [ -f "$ready" ] && break; sleep 0.1; done
[ -f "$ready" ] || { echo "package-check: the sample server did not start" >&2; exit 1; }

# A private home so that the position file of this run goes nowhere that matters.
home=$(mktemp -d -p "$stage")
status=0
HOME="$home" XDG_CONFIG_HOME="$home/.config" xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  /usr/bin/velk >"$2" 2>&1 & app=$!
  sleep "$1"
  if ! kill -0 "$app" 2>/dev/null; then
    wait "$app"; echo "package-check: velk ended early with status $?" >&2; exit 1
  fi
  kill "$app"; wait "$app" 2>/dev/null; exit 0' _ "$seconds" "$app_log" || status=$?
if [ "$status" -ne 0 ]; then
  cat "$app_log" >&2
  exit 1
fi
# The notice comes first and decides whether velk goes on, so it must have been fetched; the lists
# follow, and what they fetched is reported.
grep -qF "GET /velk1.txt?" "$server_log" || {
  echo "package-check: velk never asked for the notice" >&2; cat "$server_log" >&2; exit 1; }
fetched=()
for route in "/olympic/getOlyMedals" "/sports/data/olympic/teamImg/" "/top/summary?cate=realtimehot"; do
  grep -qF "GET $route" "$server_log" && fetched+=("$route")
done
echo "package-check: velk ran ${seconds}s and stayed up; fetched: notice${fetched[*]:+ ${fetched[*]}}"
