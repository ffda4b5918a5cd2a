#!/bin/sh
# Starts the real orvane under Xvfb as a new user would: a fresh home, an
# empty working folder. Once without a camera, once on the virtual camera
# (640 x 480 and 1920 x 1080). Writes a screenshot of the whole screen of
# each run to the build folder and prints the program's timing lines and the
# CPU the process used while the live area ran.
#
#   tools/xvfb_screenshots.sh [build folder] [seconds per camera run]
set -eu
build=$(cd "${1:-build}" && pwd)
seconds=${2:-10}
program="$build/ui/qt/orvane"
[ -x "$program" ] || { echo "no $program: build first"; exit 1; }
out="$build/xvfb"
mkdir -p "$out"

# Screenshot: xwd of the root window, converted to PNG.
shoot() { # display file
  xwd -root -silent -display "$1" > "$out/$2.xwd"
  if command -v convert > /dev/null; then
    convert "$out/$2.xwd" "$out/$2.png" && rm -f "$out/$2.xwd"
  fi
}

# CPU seconds (user + system) of a process so far.
cpu_seconds() {
  awk -v hz="$(getconf CLK_TCK)" '{ print ($14 + $15) / hz }' "/proc/$1/stat"
}

run() { # name camera formats
  name=$1 camera=$2 formats=$3
  home=$(mktemp -d) work=$(mktemp -d)
  display=:$((90 + $$ % 100))
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp > /dev/null 2>&1 &
  xvfb=$!
  sleep 1
  start=$(date +%s%3N)
  (
    cd "$work"
    export HOME="$home" XDG_CONFIG_HOME="$home/.config" DISPLAY="$display" ORVANE_TIMING=1
    unset ORVANE_VIRTUAL_CAMERA ORVANE_VIRTUAL_FORMATS QT_QPA_PLATFORM || true
    [ -n "$camera" ] && export ORVANE_VIRTUAL_CAMERA="$camera"
    [ -n "$formats" ] && export ORVANE_VIRTUAL_FORMATS="$formats"
    exec "$program"
  ) 2> "$out/$name.log" &
  pid=$!
  sleep 3
  cpu0=$(cpu_seconds $pid)
  t0=$(date +%s%3N)
  sleep "$seconds"
  cpu1=$(cpu_seconds $pid)
  t1=$(date +%s%3N)
  shoot "$display" "$name"
  kill $pid; wait $pid 2> /dev/null || true
  kill $xvfb; wait $xvfb 2> /dev/null || true
  first=$(sed -n 's/.*first paint at epoch \([0-9]*\) ms.*/\1/p' "$out/$name.log" | head -n 1)
  echo "== $name: start-up to first paint $((first - start)) ms (from launching the process)"
  grep "orvane timing" "$out/$name.log" | sed 's/^/   /'
  awk -v a="$cpu0" -v b="$cpu1" -v t0="$t0" -v t1="$t1" \
    'BEGIN { printf "   CPU over %.1f s after start-up: %.1f %% of one core\n", (t1 - t0) / 1000, 100 * (b - a) / ((t1 - t0) / 1000) }'
  echo "   files in the working folder: $(ls "$work" | tr '\n' ' ')"
  echo "   screenshot: $out/$name.png"
  rm -rf "$home" "$work"
}

run no_camera "" ""
run virtual_camera_640x480 scene "640x480:RGB"
run virtual_camera_1920x1080 scene "1920x1080:RGB"
