#!/bin/bash
# --help and --version of both programs: they answer on standard output with
# status 0 and run nothing (orvane needs no display for them); the options
# that were there keep their meaning.
#   command_line_check.sh ORVANE ORVANE_BATCH VERSION
set -uo pipefail
orvane=$1 batch=$2 version=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
# status | first line of standard output | first line of standard error | command...
check() {
  local status=$1 out=$2 err=$3; shift 3
  (cd "$tmp" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@") \
    > "$tmp/out" 2> "$tmp/err" < /dev/null
  local got=$? got_out got_err
  got_out=$(head -n 1 "$tmp/out") got_err=$(head -n 1 "$tmp/err")
  if [ "$got" != "$status" ] || [ "$got_out" != "$out" ] || [ "$got_err" != "$err" ]; then
    echo "FAIL: $*: status $got, out '$got_out', err '$got_err'"
    failures=$((failures + 1))
  fi
}
batch_usage="usage: orvane-batch [-C DIR] [--fixed-clock] [--echo] [--camera NAME] SCRIPT|-"
check 0 "orvane-batch $version" "" "$batch" --version
check 0 "$batch_usage" "" "$batch" --help
check 0 "$batch_usage" "" "$batch" -C folder --fixed-clock --help
check 0 "orvane-batch $version" "" "$batch" no-such-script.txt --version
check 2 "" "$batch_usage" "$batch" --bogus
check 2 "" "$batch_usage" "$batch"
check 2 "" "orvane-batch: cannot read no-such-script.txt" "$batch" no-such-script.txt
check 0 "orvane $version" "" "$orvane" --version
check 0 "usage: orvane [-d0|-d1|-d2|-d3] [--camera NAME] [Qt options]" "" "$orvane" -d1 --help
[ -d "$tmp/folder" ] && { echo "FAIL: --help after -C created the folder"; failures=$((failures + 1)); }
[ -z "$(ls "$tmp" | grep -v '^out$\|^err$\|^folder$')" ] || { echo "FAIL: files written: $(ls "$tmp")"; failures=$((failures + 1)); }
[ "$failures" = 0 ] && echo "--help and --version answer" || exit 1
