#!/usr/bin/env bash
# Sets up, builds and shows the widget.
#
#   scripts/run.sh                          # against the bundled sample data (loopback server)
#   scripts/run.sh -DVELK_DEMO_SERVER=OFF   # against the real services
#
# Further -D options are handed to CMake. Without a display the widget runs under Xvfb; a
# screenshot is saved once the first refreshes have settled, and the script says where.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

demo=ON
cmake_args=()
for arg in "$@"; do
  case "$arg" in
    -DVELK_DEMO_SERVER=OFF|-DVELK_DEMO_SERVER=0|-DVELK_DEMO_SERVER=FALSE) demo=OFF ;;
    -DVELK_DEMO_SERVER=*) ;;
    *) cmake_args+=("$arg") ;;
  esac
done

HTTP_PORT=18480
HTTPS_PORT=18443
if [ "$demo" = ON ]; then
  hosts=(-DVELK_NOTICE_HOST="127.0.0.1:$HTTP_PORT" -DVELK_MEDAL_HOST="127.0.0.1:$HTTP_PORT"
         -DVELK_FLAG_HOST="127.0.0.1:$HTTP_PORT" -DVELK_WEIBO_HOST="127.0.0.1:$HTTPS_PORT")
  build=build/demo
else
  hosts=(-DVELK_NOTICE_HOST= -DVELK_MEDAL_HOST=api.cntv.cn -DVELK_FLAG_HOST=p1.img.cctvpic.com
         -DVELK_WEIBO_HOST=s.weibo.com)
  build=build/real
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELK_BUILD_TESTS=OFF \
  -DVELK_BUILD_BENCHMARKS=OFF "${hosts[@]}" "${cmake_args[@]}" >/dev/null
cmake --build "$build" --target velk

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap cleanup EXIT

if [ "$demo" = ON ]; then
  ready=$(mktemp -u /tmp/velk-sample.XXXXXX)
  python3 sample/server.py --quiet --http-port "$HTTP_PORT" --https-port "$HTTPS_PORT" \
    --ready-file "$ready" >/dev/null &
  pids+=($!)
  for _ in $(seq 100); do [ -f "$ready" ] && break; sleep 0.1; done
  [ -f "$ready" ] || { echo "run.sh: the sample server did not start" >&2; exit 1; }
  echo "run.sh: sample server on 127.0.0.1:$HTTP_PORT (http) and 127.0.0.1:$HTTPS_PORT (https)"
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$build/app/velk"
else
  shot="$PWD/build/velk-screenshot.png"
  echo "run.sh: no display; running under Xvfb"
  xvfb-run -a -s "-screen 0 800x600x24" bash -c '
    "$1" & app=$!
    sleep 6
    import -window root -crop 327x288+50+50 +repage "$2" 2>/dev/null || true
    kill $app 2>/dev/null; wait $app 2>/dev/null; exit 0' _ "$build/app/velk" "$shot"
  echo "run.sh: screenshot saved to $shot"
fi
