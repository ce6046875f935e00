#!/usr/bin/env bash
# Checks that a build is reproducible: builds the DLL and the package of one
# architecture a second time, from a copy of this tree in another folder
# (build/repro-ARCH/src), and compares the two byte for byte.
#   tools/test-reproducible.sh [x64|x86]
# Unsigned files only: a signature with a time stamp legitimately differs.
# Exits non-zero when any file differs or names either folder.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
arch=${1:-x64}

say() { echo "reproducible: $*"; }
fail() { echo "reproducible: FAIL: $*" >&2; exit 1; }
started=$SECONDS

# The first build runs as `make dist` does; the copy has no git history of
# its own, so it is told the commit and its time, as a build from a source
# archive would be. Each tree's packages go in the same folder of its own
# (not dist/, which may hold the organisation's signed files).
unset SIGN_PFX SIGN_PASSWORD_FILE SIGN_TIMESTAMP_URL KS_SOURCE_COMMIT SOURCE_DATE_EPOCH
commit=$(git rev-parse HEAD)
commit_time=$(git log -1 --format=%ct)

work=$root/build/repro-$arch
copy=$work/src
rm -rf "$work"
mkdir -p "$copy"
# The tree as it stands (tracked and new files, not what git ignores).
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
  tar -c --null -T - -f - | tar -x -C "$copy" || fail "copying the tree"

out=build/repro-$arch/dist
say "first build (this tree)"
KS_DIST_DIR=$out tools/dist.sh "$arch" >"$work/first.log" 2>&1 || { tail -20 "$work/first.log"; fail "dist in $root"; }
say "second build (in $copy)"
(cd "$copy" && KS_DIST_DIR=$out KS_SOURCE_COMMIT=$commit SOURCE_DATE_EPOCH=$commit_time tools/dist.sh "$arch") >"$work/second.log" 2>&1 ||
  { tail -20 "$work/second.log"; fail "dist in $copy"; }

status=0
for f in "$arch/KestrinSelect.dll" "KestrinSelect-$arch.msi"; do
  a=$out/$f b=$copy/$out/$f
  if cmp -s "$a" "$b"; then
    say "same bytes: $f $(sha256sum <"$a" | cut -c1-16)..."
  else
    say "DIFFERENT: $f ($(cmp -l "$a" "$b" | wc -l) bytes differ; first: $(cmp "$a" "$b" | head -1))"
    status=1
  fi
  for folder in "$root" "$copy"; do
    if grep -qaF "$folder" "$a" "$b"; then say "$f names the build folder $folder"; status=1; fi
  done
done
say "$arch checked in $((SECONDS - started)) s"
[ "$status" -eq 0 ] || fail "two builds of one commit differ"
