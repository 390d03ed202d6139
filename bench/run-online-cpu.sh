#!/usr/bin/env bash
# CPU share of the program held in one state, a "before" build beside the
# current one, both measured in the same run and at the same time:
#   bench/run-online-cpu.sh [seconds] [before-commit] [states...]
# seconds: the measuring window of each state (60 by default); the window
# opens 3 s after the program reports the state reached. States (all by
# default but effects): shown (online at the default rates, a hand moving the
# emulated yoke, window shown on a real X server under a window manager),
# offscreen (shown's state on the offscreen
# platform), closed (window shown, port closed), polling (shown, port opened
# with no device: the reply poll alone), effects (shown, X-Plane stand-in
# connected, Test on).
# The "before" tree is exported from git, given this harness, and built in
# its own directory; the current tree's build is $KORVEL_BUILD_DIR or build/.
# Each program runs in its own network namespace (the reader binds fixed UDP
# ports) and working directory. Needs root (unshare), Xvfb and openbox.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
before=${2:-b2f4163}
shift $(( $# > 2 ? 2 : $# ))
states=("$@")
[ ${#states[@]} -eq 0 ] && states=(shown offscreen closed polling)
work=${KORVEL_BENCH_DIR:-/tmp/korvel-online-cpu}
display=${KORVEL_BENCH_DISPLAY:-:45}
after_build=${KORVEL_BUILD_DIR:-$root/build}
before_build=$work/build-$before
hz=$(getconf CLK_TCK)
mkdir -p "$work"

# ---- builds -----------------------------------------------------------------
src=$work/src-$before
if [ ! -d "$src" ]; then
  mkdir -p "$src"
  git -C "$root" archive "$before" | tar -x -C "$src"
fi
cp "$root/bench/bench_online_cpu.cpp" "$src/bench/"
grep -q bench_online_cpu "$src/bench/CMakeLists.txt" || cat >>"$src/bench/CMakeLists.txt" <<'EOF'
add_executable(bench_online_cpu bench_online_cpu.cpp)
target_link_libraries(bench_online_cpu PRIVATE korvel_app korvel_device korvel_hid_standin)
EOF
cmake -S "$src" -B "$before_build" -G Ninja >/dev/null
ninja -C "$before_build" -j4 bench/bench_online_cpu peers/xplane/xplane-standin >/dev/null
cmake -S "$root" -B "$after_build" -G Ninja >/dev/null
ninja -C "$after_build" -j4 bench/bench_online_cpu peers/xplane/xplane-standin >/dev/null

# ---- X server with a window manager -----------------------------------------
started=()
cleanup() { for p in "${started[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT
if ! xdpyinfo -display "$display" >/dev/null 2>&1; then
  Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
  started+=($!)
  for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done
  DISPLAY=$display openbox --sm-disable >/dev/null 2>&1 &
  started+=($!)
  sleep 1
fi

# ---- one state, both builds at once -----------------------------------------
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# Starts one build's program in its own namespace and directory; prints its PID.
launch() {
  local build=$1 state=$2 dir=$3
  rm -rf "$dir"
  mkdir -p "$dir/SimConnect"
  cp "$root/config/SimConnect/tree_profile.txt" "$dir/SimConnect/" 2>/dev/null || true
  local mode=online platform=xcb standin=
  case $state in
    closed) mode=closed ;;
    polling) mode=polling ;;
    offscreen) platform=offscreen ;;
    effects) mode=effects; standin=$build/peers/xplane/xplane-standin ;;
  esac
  (
    cd "$dir"
    exec env DISPLAY="$display" QT_QPA_PLATFORM=$platform unshare -n sh -c '
      ip link set lo up
      if [ -n "$1" ]; then "$1" >/dev/null 2>&1 & echo $! > standin.pid; fi
      exec "$2" "$3" 900' sh "$standin" "$build/bench/bench_online_cpu" "$mode" >out.txt 2>err.txt
  ) &
  echo $!
}

measure() {
  local state=$1
  local pb pa
  pb=$(launch "$before_build" "$state" "$work/run-before-$state")
  pa=$(launch "$after_build" "$state" "$work/run-after-$state")
  local d
  for d in before after; do
    for _ in $(seq 200); do
      grep -q ready "$work/run-$d-$state/out.txt" 2>/dev/null && break
      sleep 0.1
    done
    grep -q ready "$work/run-$d-$state/out.txt" || { echo "$d $state: not ready"; cat "$work/run-$d-$state/err.txt"; }
  done
  sleep 3
  local b0 a0 t0 b1 a1 t1
  b0=$(ticks "$pb"); a0=$(ticks "$pa"); t0=$(date +%s.%N)
  sleep "$seconds"
  b1=$(ticks "$pb"); a1=$(ticks "$pa"); t1=$(date +%s.%N)
  for p in "$pb" "$pa"; do kill "$p" 2>/dev/null || true; done
  for d in before after; do
    local f=$work/run-$d-$state/standin.pid
    [ -f "$f" ] && kill "$(cat "$f")" 2>/dev/null || true
  done
  wait "$pb" "$pa" 2>/dev/null || true
  awk -v s="$state" -v b=$((b1 - b0)) -v a=$((a1 - a0)) -v t0="$t0" -v t1="$t1" -v hz="$hz" 'BEGIN {
    w = t1 - t0
    printf "%-10s over %5.1f s: before %5.2f %%  after %5.2f %% of one core\n", s, w, 100 * b / hz / w, 100 * a / hz / w }'
  for d in before after; do
    grep -h box: "$work/run-$d-$state/err.txt" 2>/dev/null | sed "s/^/  $d: /" || true
  done
}

echo "before: $before; after: $(git -C "$root" rev-parse --short HEAD)$(git -C "$root" diff --quiet HEAD || echo '+changes')"
for s in "${states[@]}"; do measure "$s"; done
