#!/usr/bin/env bash
# Soak under faults: the real widget refreshing back to back against the sample server while
# the server misbehaves in turn (refuse, hang, cut, 500, garbage, huge), then the same under
# AddressSanitizer/LeakSanitizer and under ThreadSanitizer, then a configuration folder that is
# full and one that is read-only. Prints one JSON line per run and a verdict; exits non-zero when
# any check failed.
#
#   scripts/soak.sh                # 1000 cycles (2 of them hang 30 s), 60 under ASan, 20 under TSan
#   scripts/soak.sh --quick        # 60 cycles, 10 per sanitizer, no hangs (about 75 s with
#                                  # --no-sanitizers, the variant for CI)
#   scripts/soak.sh --cycles N --asan-cycles N --tsan-cycles N --hang-every N --no-sanitizers
#
# Builds the velk_soak target in the preset folders build/default, build/asan and build/tsan, or
# in already configured folders named by VELK_SOAK_BUILD, VELK_SOAK_ASAN_BUILD, VELK_SOAK_TSAN_BUILD.
# The full and read-only folders need tmpfs mounts (root); without them those two checks are
# reported as skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

cycles=1000
san_cycles=60
tsan_cycles=20
hang_every=1000
hang=(--hang-every "$hang_every")
sanitizers=1
warmup=100
window=60
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) cycles=60; san_cycles=10; tsan_cycles=10; warmup=20; window=20; hang=(--no-hang) ;;
    --cycles) cycles=$2; shift ;;
    --asan-cycles) san_cycles=$2; shift ;;
    --tsan-cycles) tsan_cycles=$2; shift ;;
    --hang-every) hang=(--hang-every "$2"); shift ;;
    --no-sanitizers) sanitizers=0 ;;
    *) echo "soak.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

build() { # preset [configured build folder to use instead]
  local dir=${2:-build/$1} status=0
  if [ -n "${2:-}" ]; then
    cmake --build "$dir" --target velk_soak >"$work/build-$1.log" 2>&1 || status=$?
  else
    { cmake --preset "$1" && cmake --build --preset "$1" --target velk_soak; } >"$work/build-$1.log" 2>&1 || status=$?
  fi
  if [ "$status" -ne 0 ]; then
    grep -E -A8 'FAILED|error' "$work/build-$1.log" | head -40 >&2
    echo "soak.sh: building velk_soak ($1) failed" >&2
    return 1
  fi
  echo "$dir/tests/e2e/velk_soak"
}

work=$(mktemp -d /tmp/velk-soak.XXXXXX)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  for m in "$work/full" "$work/readonly"; do mountpoint -q "$m" 2>/dev/null && umount "$m"; done
  rm -rf "$work"
}
trap cleanup EXIT

# The sample server with the feed of teams 9 to 20, so that flags are downloaded too.
python3 sample/server.py --quiet --medal-feed sample/medals-rank9-20.jsonp --ready-file "$work/ready" \
  >/dev/null 2>"$work/server.log" &
server_pid=$!
for _ in $(seq 100); do [ -f "$work/ready" ] && break; sleep 0.1; done
[ -f "$work/ready" ] || { echo "soak.sh: the sample server did not start" >&2; cat "$work/server.log" >&2; exit 1; }
eval "$(cat "$work/ready")"
hosts=(--medal-host "127.0.0.1:$HTTP_PORT" --flag-host "127.0.0.1:$HTTP_PORT"
       --weibo-host "127.0.0.1:$HTTPS_PORT" --fault-url "http://127.0.0.1:$HTTP_PORT/_fault")

failed=0
# run <name> <sanitizer report pattern or ""> <program> <args...>
run() {
  local name=$1 pattern=$2 program=$3; shift 3
  local config="$work/config-$name"
  mkdir -p "$config"
  local start=$SECONDS status=0
  "$program" "${hosts[@]}" --config "$config" "$@" >"$work/$name.out" 2>"$work/$name.err" || status=$?
  local verdict=passed
  if [ "$status" -ne 0 ]; then verdict="FAILED (exit $status)"; fi
  if [ -n "$pattern" ] && grep -qE "$pattern" "$work/$name.err"; then
    verdict="FAILED (sanitizer report)"
    grep -E -A12 "$pattern" "$work/$name.err" | head -60 >&2
  fi
  [ "$verdict" = passed ] || failed=1
  printf '%-10s %-28s %4ss  %s\n' "$name" "$verdict" "$((SECONDS - start))" "$(tail -n1 "$work/$name.out")"
}

soak=$(build default "${VELK_SOAK_BUILD:-}")
run soak "" "$soak" --cycles "$cycles" --warmup "$warmup" --window "$window" "${hang[@]}" --move-window

if [ "$sanitizers" = 1 ]; then
  asan=$(build asan "${VELK_SOAK_ASAN_BUILD:-}")
  tsan=$(build tsan "${VELK_SOAK_TSAN_BUILD:-}")
  # Under the sanitizers memory and time figures mean little: only their reports count.
  loose=(--warmup 5 --window 5 --max-rss-growth-kb 100000000 --max-gap-ms 60000)
  # Flag downloads still hang in turn (they only hold their own threads); the feed and the page
  # do not, as each of those waits out the client's 30 s.
  san_hang=(--no-hang)
  [ "${hang[0]}" = --no-hang ] || san_hang=(--hang-every 0)
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
    run asan "ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:" "$asan" --cycles "$san_cycles" "${loose[@]}" "${san_hang[@]}"
  TSAN_OPTIONS=halt_on_error=0:second_deadlock_stack=1:suppressions=$PWD/tests/e2e/tsan.supp \
    run tsan "WARNING: ThreadSanitizer" "$tsan" --cycles "$tsan_cycles" "${loose[@]}" "${san_hang[@]}"
fi

# A configuration folder that is full, then read-only, must leave the previous velk.ini as it
# was. A writable folder beside them shows that the run did try to save (the window moves).
short=(--cycles 20 --warmup 5 --window 5 --no-hang --move-window --save-interval-ms 20 --max-rss-growth-kb 100000000)
printf '[pos]\nx=300\ny=200\n' >"$work/velk.ini.before"
config_check() { # name folder
  local name=$1 folder=$2
  cp "$work/velk.ini.before" "$folder/velk.ini"
  [ "$name" = full ] && { dd if=/dev/zero of="$folder/filler" bs=1k count=64 2>/dev/null || true; }
  [ "$name" = readonly ] && mount -o remount,ro "$folder"
  local status=0
  "$soak" "${hosts[@]}" --config "$folder" "${short[@]}" >"$work/$name.out" 2>"$work/$name.err" || status=$?
  local verdict=passed
  if [ "$status" -ne 0 ]; then verdict="FAILED (exit $status)"
  elif ! cmp -s "$folder/velk.ini" "$work/velk.ini.before"; then verdict="FAILED (velk.ini changed)"
  elif ls -A "$folder" | grep -qv '^\(velk.ini\|filler\)$'; then verdict="FAILED (files left: $(ls -A "$folder" | tr '\n' ' '))"
  fi
  [ "$verdict" = passed ] || failed=1
  printf '%-10s %s\n' "$name" "$verdict"
}
mkdir -p "$work/writable" "$work/full" "$work/readonly"
cp "$work/velk.ini.before" "$work/writable/velk.ini"
"$soak" "${hosts[@]}" --config "$work/writable" "${short[@]}" >/dev/null 2>&1 || true
if cmp -s "$work/writable/velk.ini" "$work/velk.ini.before"; then
  echo "writable   FAILED (velk.ini not rewritten: the folder checks would prove nothing)"; failed=1
else
  echo "writable   passed (velk.ini rewritten: $(tr '\n' ' ' <"$work/writable/velk.ini"))"
fi
if mount -t tmpfs -o size=16k tmpfs "$work/full" 2>/dev/null && mount -t tmpfs -o size=16k tmpfs "$work/readonly"; then
  config_check full "$work/full"
  config_check readonly "$work/readonly"
else
  echo "full       skipped (no tmpfs mount: needs root)"
  echo "readonly   skipped (no tmpfs mount: needs root)"
fi

[ "$failed" = 0 ] && echo "soak.sh: all passed" || echo "soak.sh: FAILED"
exit "$failed"
