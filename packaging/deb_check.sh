#!/bin/bash
# Installs the Debian packages on this machine and uses them as a user would,
# then removes them and checks that nothing of theirs is left:
#  - as a plain user (nobody) in an empty folder, orvane-batch calibrates on
#    the installed sample target and prints the calibration;
#  - orvane starts on a virtual X display (Xvfb) and ends on Escape;
#  - a six-line C program builds with pkg-config's flags for quellix and
#    prints the library's version (and one for the gauge library, when the
#    package holds it);
#  - with python3-orvane (when it was made), /usr/bin/python3 measures the
#    large hole of the installed sample part with qgauge;
#  - apt-get remove leaves none of the files dpkg -L listed, and no entry in
#    dpkg's database.
# Needs root (dpkg) and xvfb, xdotool. Refuses to run when orvane is already
# installed, so that it never replaces or removes someone else's copy.
#   deb_check.sh DEB_DIR VERSION
set -euo pipefail
debs=$(cd "$1" && pwd) version=$2
here=$(cd "$(dirname "$0")/.." && pwd)
runtime=$debs/orvane_${version}_amd64.deb
dev=$debs/orvane-dev_${version}_amd64.deb
python=$debs/python3-orvane_${version}_amd64.deb
packages="orvane orvane-dev"
debfiles="$runtime $dev"
if [ -f "$python" ]; then
  packages="$packages python3-orvane"
  debfiles="$debfiles $python"
fi
user=nobody
[ "$(id -u)" = 0 ] || { echo "deb-check installs packages: run it as root"; exit 1; }
for pkg in $packages; do
  if dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q ' installed$'; then
    echo "$pkg is already installed on this machine: not touching it"; exit 1
  fi
done

tmp=$(mktemp -d)
chmod 755 "$tmp"
xvfb=
installed=0
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2> /dev/null && wait "$xvfb" 2> /dev/null
  [ "$installed" = 1 ] && DEBIAN_FRONTEND=noninteractive apt-get remove -y -q $packages > /dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
as_user() { # folder command...
  local folder=$1; shift
  (cd "$folder" && runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="$folder" "$@")
}
empty_folder() {
  local folder
  folder=$(mktemp -d "$tmp/$1.XXXX")
  chown "$user" "$folder"
  echo "$folder"
}

echo "== dpkg -i"
dpkg -i $debfiles
installed=1
dpkg -L $packages | sort -u > "$tmp/files.txt"

echo "== orvane-batch, as $user in an empty folder"
work=$(empty_folder batch)
sed "s|SAMPLES|/usr/share/orvane/samples|" "$here/tests/packaging/calibrate.txt" > "$tmp/calibrate.txt"
if as_user "$work" orvane-batch --fixed-clock "$tmp/calibrate.txt" > "$tmp/batch.txt"; then
  grep '^calibration ' "$tmp/batch.txt"
else
  fail "orvane-batch: $(cat "$tmp/batch.txt")"
fi
[ "$(as_user "$work" orvane-batch --version)" = "orvane-batch $version" ] || fail "orvane-batch --version"

echo "== orvane on Xvfb, ended with Escape"
display=:$((150 + $$ % 50))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp > /dev/null 2>&1 &
xvfb=$!
sleep 1
work=$(empty_folder desktop)
(cd "$work" && exec runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="$work" DISPLAY="$display" orvane) \
  > "$tmp/orvane.txt" 2>&1 &
program=$!
if window=$(DISPLAY=$display timeout 20 xdotool search --sync --onlyvisible --class orvane | head -n 1); then
  DISPLAY=$display xdotool windowfocus --sync "$window" key Escape
  for _ in $(seq 50); do kill -0 "$program" 2> /dev/null || break; sleep 0.2; done
  if kill -0 "$program" 2> /dev/null; then
    fail "orvane still runs 10 s after Escape"; kill "$program"
  fi
else
  fail "no orvane window appeared: $(cat "$tmp/orvane.txt")"; kill "$program"
fi
status=0
wait "$program" || status=$?
[ "$status" = 0 ] && echo "orvane ended with status 0; its folder holds: $(ls "$work" | tr '\n' ' ')" \
  || fail "orvane ended with status $status"
[ "$(as_user "$work" orvane --version)" = "orvane $version" ] || fail "orvane --version"

echo "== a C program through pkg-config"
work=$(empty_folder c)
cp "$here/tests/packaging/quellix_version.c" "$work/"
chmod 644 "$work/quellix_version.c"
as_user "$work" sh -c 'cc -o quellix_version quellix_version.c $(pkg-config --cflags --libs quellix) && ./quellix_version' \
  | tee "$tmp/c.txt"
grep -qx 'quellix 8' "$tmp/c.txt" || fail "the C program"
if dpkg -L orvane-dev | grep -q '/qgauge\.pc$'; then
  cp "$here/tests/packaging/qgauge_version.c" "$work/"
  chmod 644 "$work/qgauge_version.c"
  as_user "$work" sh -c 'cc -o qgauge_version qgauge_version.c $(pkg-config --cflags --libs qgauge) && ./qgauge_version' \
    | tee "$tmp/g.txt"
  grep -qx 'qgauge [0-9]*' "$tmp/g.txt" || fail "the gauge C program"
fi

if [ -f "$python" ]; then
  echo "== the Python module, as $user"
  work=$(empty_folder python)
  as_user "$work" python3 -c '
import numpy as np, qgauge
from PIL import Image
picture = np.asarray(Image.open("/usr/share/orvane/samples/PART.BMP").convert("L"))
hole = qgauge.circle_gauge(picture, (220, 240), 50)
print(f"hole {hole.x:.1f} {hole.y:.1f} {2 * hole.r:.1f}")' | tee "$tmp/py.txt"
  grep -qx 'hole 220.5 240.5 99.9' "$tmp/py.txt" || fail "the Python module"
fi

echo "== apt-get remove"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -q $packages > /dev/null
installed=0
left=0
while read -r path; do
  # A folder another package owns stays, as it should.
  if [ -e "$path" ] || [ -L "$path" ]; then
    dpkg -S "$path" > /dev/null 2>&1 || { echo "left behind: $path"; left=1; }
  fi
done < "$tmp/files.txt"
[ "$left" = 0 ] && echo "none of the $(wc -l < "$tmp/files.txt") paths dpkg -L listed is left" || fail "files left"
if dpkg-query -W $packages > /dev/null 2>&1 || ls /var/lib/dpkg/info/orvane*.* /var/lib/dpkg/info/python3-orvane*.* > /dev/null 2>&1; then
  fail "dpkg still records the packages: $(dpkg-query -W -f='${Package} ${Status}\n' $packages 2>&1)"
fi

[ "$failures" = 0 ] && echo "deb-check: all passed" || { echo "deb-check: $failures failed"; exit 1; }
