#!/bin/sh
# check_gen_kit_files.sh <scratch dir> <build's kit dir> <generator command...>
# Runs the generator into a scratch folder as the build does and checks that it writes the same three files
# as the build, and that wrong usage fails without writing anything.
set -eu
scratch=$1
built=$2
shift 2
files="kelvane_tx.ami kelvane_rx.ami kelvane.ibs"
fail() { echo "FAIL: $*"; exit 1; }

rm -rf "$scratch"
"$@" "$scratch/same" || fail "generator failed"
for f in $files; do
  [ -s "$scratch/same/$f" ] || fail "$f not written"
  cmp "$scratch/same/$f" "$built/$f" || fail "$f differs from the build's"
done

# Wrong usage: exit status 2 and no files.
for args in "" "$scratch/bad 64" "$scratch/bad extra words"; do
  status=0
  # shellcheck disable=SC2086
  "$@" $args >/dev/null 2>&1 || status=$?
  [ "$status" = 2 ] || fail "usage '$args' gave exit status $status, not 2"
done
[ ! -e "$scratch/bad" ] || fail "wrong usage wrote files"

# An output folder that cannot be made: exit status 1 and a message.
status=0
message=$("$@" "$scratch/same/kelvane.ibs/sub" 2>&1) || status=$?
[ "$status" = 1 ] || fail "unwritable folder gave exit status $status, not 1"
case "$message" in gen_kit_files:*) ;; *) fail "no message for an unwritable folder: $message" ;; esac

rm -rf "$scratch"
echo "gen_kit_files: all checks passed"
