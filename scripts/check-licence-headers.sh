#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a file of the source tree does not name its licence in an SPDX line among its first
# three lines (room for a shebang or an XML declaration above it). Every file takes part except
# those that cannot hold a comment or are licence texts themselves, listed below; a file of a new
# kind therefore fails until it has its line or a reason to be left out.
#
# usage: scripts/check-licence-headers.sh [SOURCE_DIR]    (default: this checkout)
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

project_licence=GPL-3.0-or-later
# AppStream accepts only permissive licences for metadata: the metainfo is under FSFAP, as its
# <metadata_license> says.
licence_of() {
    case $1 in
    *.metainfo.xml | *.metainfo.xml.in) echo FSFAP ;;
    *) echo "$project_licence" ;;
    esac
}
exempt() {
    case $1 in
    LICENSE | packaging/copyright) return 0 ;; # the licence texts
    *.png) return 0 ;;                          # images
    tests/fuzz/corpus/*) return 0 ;;            # fuzzer inputs: their bytes are the test
    *) return 1 ;;
    esac
}

# The files git tracks; outside a git checkout (an unpacked source archive), every file but the
# build folders.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    files=$(git ls-files)
else
    files=$(find . -path ./.git -prune -o -path './build*' -prune -o -type f -print | sed 's|^\./||')
fi

missing=0
checked=0
while IFS= read -r file; do
    [ -n "$file" ] && [ -f "$file" ] || continue
    exempt "$file" && continue
    checked=$((checked + 1))
    line="SPDX-License-Identifier: $(licence_of "$file")"
    if ! head -n 3 "$file" | grep -qF "$line"; then
        echo "$file: no \"$line\" in its first three lines"
        missing=$((missing + 1))
    fi
done <<<"$files"

if [ "$missing" -ne 0 ]; then
    echo "$missing of $checked files lack their licence line"
    exit 1
fi
echo "all $checked files name their licence"
