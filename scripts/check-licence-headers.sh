#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a file of the source tree does not name its licence in an SPDX line among its first
# three lines (room for a shebang or an XML declaration above it). Every file takes part except
# those that cannot hold a comment or are licence texts themselves, listed below; a file of a new
# kind therefore fails until it has its line or a reason to be left out.
#
# It checks the files git tracks, so it runs in a git checkout (development and CI). An unpacked
# source archive also holds what a distribution adds to it (its debian/ folder, its build folder
# obj-*), which this project does not license: there it skips, exiting with SkipStatus after
# saying why.
#
# usage: scripts/check-licence-headers.sh [SOURCE_DIR]    (default: this checkout)
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# CTest's SKIP_RETURN_CODE for this test (tests/CMakeLists.txt).
SkipStatus=77
skip() {
    echo "licence check skipped: $*"
    exit "$SkipStatus"
}

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

# Only the top of a checkout has .git (a folder, or a file in a worktree): a tree unpacked
# inside some other checkout is not taken for one. Once it is there, git must answer.
[ -e .git ] || skip "$PWD is not a git checkout (an unpacked source archive?), and only git" \
    "tells the project's files from those a build or a distribution added"
command -v git >/dev/null || {
    echo "$PWD is a git checkout, but git is not installed: install git to check its files"
    exit 1
}
tracked=$(mktemp)
trap 'rm -f "$tracked"' EXIT
if ! git ls-files -z >"$tracked"; then
    echo "git cannot list the files of $PWD (see its message above)"
    exit 1
fi

missing=0
checked=0
# NUL-separated: git would quote names with unusual characters otherwise.
while IFS= read -r -d '' file; do
    [ -f "$file" ] || continue # deleted, not yet committed
    exempt "$file" && continue
    checked=$((checked + 1))
    line="SPDX-License-Identifier: $(licence_of "$file")"
    if ! head -n 3 "$file" | grep -qF "$line"; then
        echo "$file: no \"$line\" in its first three lines"
        missing=$((missing + 1))
    fi
done <"$tracked"

if [ "$missing" -ne 0 ]; then
    echo "$missing of $checked files lack their licence line"
    exit 1
fi
echo "all $checked files name their licence"
