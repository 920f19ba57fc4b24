#!/bin/sh
# Runs a test program as the unprivileged user nobody, for the cases where
# root's privileges would hide what a user meets (folders and files without
# permission). The program runs from a copy in a fresh folder under /tmp, so
# that nobody can reach it wherever the build tree lives; a suppression file
# named in LSAN_OPTIONS is copied with it.
#
#   run-unprivileged.sh PROGRAM [ARGUMENT...]
set -eu

program=$1
shift
copy=$(mktemp -d /tmp/nimbrel-unprivileged.XXXXXX)
trap 'rm -rf "$copy"' EXIT
trap 'exit 1' INT TERM
chmod 755 "$copy"
cp "$program" "$copy/"
chmod 755 "$copy/${program##*/}"

case "${LSAN_OPTIONS-}" in
*suppressions=*)
    suppressions=${LSAN_OPTIONS#*suppressions=}
    suppressions=${suppressions%%:*}
    cp "$suppressions" "$copy/lsan.supp"
    chmod 644 "$copy/lsan.supp"
    LSAN_OPTIONS=suppressions=$copy/lsan.supp
    export LSAN_OPTIONS
    ;;
esac

# The program's scratch folders go where nobody may write.
TMPDIR=/tmp
export TMPDIR
setpriv --reuid=nobody --regid=nogroup --clear-groups "$copy/${program##*/}" "$@"
