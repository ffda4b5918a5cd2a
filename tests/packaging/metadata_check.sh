#!/bin/bash
# The manual pages render without a warning, the desktop entry and AppStream
# metadata validate, and the changelog and AppStream release name the project
# version (a version bump must come with a release entry in both).
#   metadata_check.sh SOURCE_DIR BUILD_DIR VERSION
set -uo pipefail
source=$1 build=$2 version=$3
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for page in orvane.1 orvane-batch.1; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$build/packaging/$page" 2>&1 > /dev/null)
  [ -z "$warnings" ] || fail "$page: $warnings"
  grep -q '@[A-Z_]*@' "$build/packaging/$page" && fail "$page: an unconfigured @VARIABLE@"
done

appstreamcli validate --no-net --pedantic "$source/packaging/com.orvane.orvane.metainfo.xml" \
  || fail "AppStream metadata"
desktop-file-validate "$source/ui/qt/orvane.desktop" || fail "desktop entry"

top=$(sed -n '1s/^orvane (\([^)]*\)).*/\1/p' "$source/packaging/changelog")
[ "$top" = "$version" ] || fail "the changelog's newest entry is '$top', the project is $version"
release=$(grep -m1 -o '<release version="[^"]*"' "$source/packaging/com.orvane.orvane.metainfo.xml" | cut -d'"' -f2)
[ "$release" = "$version" ] || fail "the AppStream newest release is '$release', the project is $version"

[ "$failures" = 0 ] && echo "manual pages and metadata are clean" || exit 1
