#!/bin/bash
# Inspects the Debian packages made from this build, without installing them:
# control fields, the files each package holds, the SONAMEs, and that the
# unpacked programs, sample and pkg-config file work together.
#   deb_contents.sh BUILD_DIR DEB_DIR VERSION LIBDIR GAUGE(0|1) [PYTHON(0|1) INTERPRETER]
set -euo pipefail
build=$1 debs=$2 version=$3 libdir=$4 gauge=$5 python=${6:-0} interpreter=${7:-/usr/bin/python3}
here=$(cd "$(dirname "$0")" && pwd)
runtime=$debs/orvane_${version}_amd64.deb
dev=$debs/orvane-dev_${version}_amd64.deb
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for deb in "$runtime" "$dev"; do
  [ -f "$deb" ] || { echo "FAIL: no $deb"; exit 1; }
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$deb: Version is not $version"
done

# Dependencies come from the binaries; the dev package needs this very runtime.
depends=$(dpkg-deb -f "$runtime" Depends)
for lib in libc6 libstdc++6 libqt6widgets6 libturbojpeg0; do
  [[ ", $depends," == *", $lib "* ]] || fail "orvane does not depend on $lib: $depends"
done
[ "$(dpkg-deb -f "$dev" Depends)" = "orvane (= $version)" ] || fail "orvane-dev: Depends $(dpkg-deb -f "$dev" Depends)"

# ldconfig runs through the trigger; no maintainer script, so that removing
# the package leaves nothing in dpkg's database.
dpkg-deb -e "$runtime" "$tmp/control"
[ "$(cat "$tmp/control/triggers" 2> /dev/null)" = "activate-noawait ldconfig" ] || fail "no ldconfig trigger"
for script in preinst postinst prerm postrm; do
  [ -e "$tmp/control/$script" ] && fail "orvane has a $script script"
done

# The files of each package (symbolic links as "name -> target").
listing() { dpkg-deb -c "$1" | grep -v '/$' | sed -E 's|^([^ ]+ +){5}\./|/|'; }
listing "$runtime" > "$tmp/runtime.txt"
listing "$dev" > "$tmp/dev.txt"
: > "$tmp/python.txt"
if [ "$python" = 1 ]; then
  pydeb=$debs/python3-orvane_${version}_amd64.deb
  [ -f "$pydeb" ] || { echo "FAIL: no $pydeb"; exit 1; }
  listing "$pydeb" > "$tmp/python.txt"
  pydepends=$(dpkg-deb -f "$pydeb" Depends)
  for dep in "orvane (= $version)" python3-numpy "python3 (<< "; do
    [[ "$pydepends" == *"$dep"* ]] || fail "python3-orvane does not depend on $dep: $pydepends"
  done
  for module in qgauge orvane; do
    grep -qE "^/usr/lib/python3/dist-packages/$module\.cpython-[0-9]+-[^/]*\.so$" "$tmp/python.txt" \
      || fail "python3-orvane lacks the $module module"
    grep -qxF "/usr/lib/python3/dist-packages/$module.pyi" "$tmp/python.txt" || fail "python3-orvane lacks $module.pyi"
  done
  grep -qxF /usr/share/doc/python3-orvane/copyright "$tmp/python.txt" || fail "python3-orvane lacks its copyright"
fi
L=/usr/$libdir
expect_in() { # list line...
  local list=$1; shift
  for line in "$@"; do grep -qxF -- "$line" "$tmp/$list.txt" || fail "$list lacks $line"; done
}
expect_in runtime /usr/bin/orvane /usr/bin/orvane-batch /usr/bin/orvane-inspect \
  "$L/libquellix.so.1 -> libquellix.so.$version" "$L/libquellix.so.$version" \
  "$L/libpixora.so.1 -> libpixora.so.1.0.0" "$L/libpixora.so.1.0.0" \
  /usr/share/man/man1/orvane.1.gz /usr/share/man/man1/orvane-batch.1.gz /usr/share/man/man1/orvane-inspect.1.gz \
  /usr/share/applications/orvane.desktop /usr/share/icons/hicolor/scalable/apps/orvane.svg \
  /usr/share/metainfo/com.orvane.orvane.metainfo.xml /usr/lib/udev/rules.d/70-orvane-usb3vision.rules \
  /usr/share/doc/orvane/copyright /usr/share/doc/orvane/changelog.gz \
  /usr/share/orvane/samples/TARGET.BMP /usr/share/orvane/samples/PART.BMP
expect_in dev /usr/include/quellix.h "$L/libquellix.so -> libquellix.so.1" \
  "$L/pkgconfig/quellix.pc" /usr/share/doc/orvane-dev/copyright
if [ "$gauge" = 1 ]; then
  grep -q "^$L/libqgauge\.so\.1 -> " "$tmp/runtime.txt" || fail "runtime lacks libqgauge.so.1"
  expect_in dev /usr/include/qgauge.h "$L/libqgauge.so -> libqgauge.so.1" "$L/pkgconfig/qgauge.pc"
fi
# Headers, pkg-config files and namelinks only in dev; nothing outside /usr.
grep -E '\.h$|\.pc$|\.so( |$)' "$tmp/runtime.txt" && fail "development files in orvane"
cat "$tmp/runtime.txt" "$tmp/dev.txt" "$tmp/python.txt" | grep -v '^/usr/' && fail "files outside /usr"

# Everything a full install writes is in exactly one package: an install rule
# outside the two components would otherwise be left out silently.
DESTDIR="$tmp/all" cmake --install "$build" --prefix /usr > /dev/null
(cd "$tmp/all" && find . ! -type d | sed 's|^\.||' | sort) > "$tmp/installed.txt"
sed 's/ -> .*//' "$tmp/runtime.txt" "$tmp/dev.txt" "$tmp/python.txt" | sort > "$tmp/packaged.txt"
diff "$tmp/installed.txt" "$tmp/packaged.txt" > "$tmp/diff.txt" || fail "install and packages differ: $(cat "$tmp/diff.txt")"

# Unpacked, as the system would hold them.
root=$tmp/root
dpkg-deb -x "$runtime" "$root"
dpkg-deb -x "$dev" "$root"
soname=$(readelf -d "$root$L/libquellix.so.$version" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libquellix.so.1 ] || fail "libquellix SONAME is '$soname'"
readelf -d "$root/usr/bin/orvane-batch" | grep -q 'NEEDED.*\[libquellix\.so\.1\]' || fail "orvane-batch does not need libquellix.so.1"
# Each .pc file's prefix is /usr once installed (written as /usr, or relative
# to the file's own folder).
for pc in "$root$L"/pkgconfig/*.pc; do
  prefix=$(PKG_CONFIG_LIBDIR="$root$L/pkgconfig" pkg-config --variable=prefix "$(basename "$pc" .pc)")
  prefix=$(realpath -m "$prefix")
  [ "${prefix#"$root"}" = /usr ] || fail "$pc: prefix $prefix"
done
[ "$("$root/usr/bin/orvane-batch" --version)" = "orvane-batch $version" ] || fail "orvane-batch --version"
[ "$("$root/usr/bin/orvane" --version)" = "orvane $version" ] || fail "orvane --version"

# The sample target calibrates in an empty folder.
mkdir "$tmp/station"
sed "s|SAMPLES|$root/usr/share/orvane/samples|" "$here/calibrate.txt" \
  | (cd "$tmp/station" && "$root/usr/bin/orvane-batch" --fixed-clock -) > "$tmp/story.txt" \
  || fail "the calibration story failed: $(cat "$tmp/story.txt")"

# C programs built through the unpacked pkg-config files.
flags=$(PKG_CONFIG_LIBDIR="$root$L/pkgconfig" PKG_CONFIG_SYSROOT_DIR="$root" pkg-config --cflags --libs quellix)
if cc -o "$tmp/quellix_version" "$here/quellix_version.c" $flags; then
  [ "$(LD_LIBRARY_PATH="$root$L" "$tmp/quellix_version")" = "quellix 8" ] || fail "the C program's output"
else
  fail "the C program does not build with: $flags"
fi

if [ "$gauge" = 1 ]; then
  flags=$(PKG_CONFIG_LIBDIR="$root$L/pkgconfig" PKG_CONFIG_SYSROOT_DIR="$root" pkg-config --cflags --libs qgauge)
  if cc -o "$tmp/qgauge_version" "$here/qgauge_version.c" $flags; then
    LD_LIBRARY_PATH="$root$L" "$tmp/qgauge_version" | grep -qx 'qgauge [0-9]*' || fail "the gauge C program's output"
  else
    fail "the gauge C program does not build with: $flags"
  fi
fi

# The unpacked module imports with the unpacked library and measures.
if [ "$python" = 1 ]; then
  dpkg-deb -x "$pydeb" "$root"
  out=$(cd "$tmp" && PYTHONPATH="$root/usr/lib/python3/dist-packages" LD_LIBRARY_PATH="$root$L" "$interpreter" -c '
import numpy as np, qgauge
image = np.zeros((40, 60), np.uint8)
image[:, 30:] = 200
import orvane
print(qgauge.__version__, qgauge.__file__.startswith("'"$root"'"), round(qgauge.edges(image, (5, 20), (55, 20))[0].x, 3),
      orvane.Station(".").calibration().unit)' 2>&1) \
    || fail "the unpacked module: $out"
  [ "$out" = "$version True 30.0 px" ] || fail "the unpacked modules say: $out"
fi

[ "$failures" = 0 ] && echo "packages hold what they should" || exit 1
