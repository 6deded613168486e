#!/bin/sh
# A release is made from a commit only: release_refuses_changes.sh SOURCE.
# In a repository made from a copy of the source, a changed file and then an
# untracked file must each make scripts/release refuse, name the file, and
# write no zip.
set -eu
source=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/q7-release-refusal.XXXXXX")
trap 'rm -rf "$work"' EXIT
tar -C "$source" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -xf - -C "$work"
cd "$work"
git init -q
git add -A
git -c user.name=test -c user.email=test@localhost commit -qm copy

refused() {
  if scripts/release >out.log 2>err.log; then
    echo "release went ahead with $1"; return 1
  fi
  grep -q "refused" err.log && grep -q "$1" err.log || { echo "no clear refusal naming $1:"; cat err.log; return 1; }
  [ ! -e dist ] || { echo "a zip was written with $1"; return 1; }
}
echo "# a change" >> README.md
refused README.md
git checkout -q README.md
echo new > untracked.txt
refused untracked.txt
echo "scripts/release refused both"
