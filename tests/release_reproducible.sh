#!/bin/sh
# The release is the same bytes wherever and whenever it is built:
# release_reproducible.sh SOURCE TESTED_DLL. The DLL is built from two copies
# of the source in folders of different names and depths, the second copy
# dated a day later and built after a pause; both DLLs must equal each other
# and the DLL the tests ran against, and the two release zips made from them
# must be equal too, with the guide's page made from each copy.
set -eu
source=$1
tested=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/q7-reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT

copy() {
  mkdir -p "$2"
  tar -C "$1" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -xf - -C "$2"
}
copy "$source" "$work/a"
copy "$source" "$work/second/copy/of-the-source"
find "$work/second" -exec touch -d '+1 day' {} +
"$source/cmake/build-dll" "$work/a" "$work/a/build"
sleep 2
"$source/cmake/build-dll" "$work/second/copy/of-the-source" "$work/second/out"

status=0
cmp "$work/a/build/q7_kar_vezezoz.dll" "$work/second/out/q7_kar_vezezoz.dll" || status=1
cmp "$work/a/build/q7_kar_vezezoz.dll" "$tested" || status=1
"$source/cmake/guide-page.py" "$work/a/docs/podrecznik.md" "$work/a/VERSION" "$work/a/build/podrecznik.html"
"$source/cmake/pack-release.py" "$work/a.zip" "$work/a/build/q7_kar_vezezoz.dll" \
  "$work/a/build/podrecznik.html" >/dev/null
sleep 2
b=$work/second/copy/of-the-source
"$source/cmake/guide-page.py" "$b/docs/podrecznik.md" "$b/VERSION" "$work/second/out/podrecznik.html"
"$source/cmake/pack-release.py" "$work/b.zip" "$work/second/out/q7_kar_vezezoz.dll" \
  "$work/second/out/podrecznik.html" >/dev/null
cmp "$work/a.zip" "$work/b.zip" || status=1
# The zip holds the DLL, the guide as a web page that needs nothing from
# outside itself, and their sums, which check.
python3 - "$work/a.zip" "$source/docs/podrecznik.md" <<'PY' || status=1
import hashlib, re, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
names = z.namelist()
assert names == ["q7_kar_vezezoz.dll", "podrecznik.html", "SHA256SUMS"], names
for line in z.read("SHA256SUMS").decode().splitlines():
    digest, name = line.split("  ")
    assert hashlib.sha256(z.read(name)).hexdigest() == digest, name
page = z.read("podrecznik.html").decode("utf-8")
outside = re.findall(r'(?:src|href)\s*=\s*"(?!#)[^"]*"|@import|url\(', page)
assert not outside, f"the guide's page refers outside itself: {outside}"
assert "<style>" in page and "<!-- ekran" not in page and "```" not in page, "the guide's page is not made whole"
screens = open(sys.argv[2], encoding="utf-8").read().count("<!-- ekran:")
assert page.count("<pre>") >= screens, f"{page.count('<pre>')} blocks for {screens} screens"
PY
[ $status -eq 0 ] && echo "the same DLL and zip from both folders"
exit $status
