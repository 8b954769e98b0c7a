#!/usr/bin/env bash
# The commit note that ends the file description (cmake/build_commit.cmake), for each case that
# decides it, in a scratch repository.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GIT_CEILING_DIRECTORIES=$work
repo=$work/repo
git init -q "$repo"
commit() { git -C "$repo" -c user.name=q -c user.email=q@example.com commit -q --allow-empty -m "$1"; }

failures=0
# expect SOURCE NOTE WHAT: the header written for tag v1.2.3 holds NOTE.
expect() {
    local got
    got=$(cmake -DSOURCE="$1" -DTAG=v1.2.3 -DOUTPUT="$work/build_commit.h" -P "$root/cmake/build_commit.cmake" &&
          cat "$work/build_commit.h")
    [[ "$got" == "#define QM_BUILD_COMMIT \"$2\"" ]] || { echo "FAILED: $3: $got" >&2; failures=$((failures + 1)); }
}

commit one
expect "$repo" " (commit $(git -C "$repo" rev-parse --short HEAD))" "an untagged commit"
git -C "$repo" tag v1.2.2
expect "$repo" " (commit $(git -C "$repo" rev-parse --short HEAD))" "a commit tagged with another version"
git -C "$repo" tag -a -m "Quillmark 1.2.3" v1.2.3
expect "$repo" "" "the release's tagged commit"
commit two
expect "$repo" " (commit $(git -C "$repo" rev-parse --short HEAD))" "a commit after the release"
mkdir "$work/plain"
expect "$work/plain" "" "sources outside a git checkout"

# Unchanged, the header is not rewritten: the exe is not relinked at every build.
touch -d 2000-01-01 "$work/build_commit.h"
expect "$work/plain" "" "the same sources again"
[[ $(stat -c %Y "$work/build_commit.h") == $(date -d 2000-01-01 +%s) ]] ||
    { echo "FAILED: an unchanged header was rewritten" >&2; failures=$((failures + 1)); }

exit $((failures != 0))
