#!/usr/bin/env bash
# Every text the program shows has its translation: lupdate, run on the
# sources into a copy of each catalogue, leaves no entry unfinished.
# Usage: check-catalogues.sh LUPDATE SOURCE-DIR
set -euo pipefail
lupdate=$1
root=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for catalogue in "$root"/translations/*.ts; do
    copy="$work/$(basename "$catalogue")"
    cp "$catalogue" "$copy"
    language=$(basename "$catalogue" .ts)
    language=${language#minutrex_}
    (cd "$root" && "$lupdate" -silent -locations none -no-obsolete -source-language fr \
        -target-language "$language" src main.cpp -ts "$copy")
    unfinished=$(grep -c 'type="unfinished"' "$copy" || true)
    if [ "$unfinished" -ne 0 ]; then
        echo "$(basename "$catalogue"): $unfinished text(s) without a translation:" >&2
        grep -B2 'type="unfinished"' "$copy" | grep '<source>' >&2 || true
        status=1
    fi
done
exit $status
