#!/usr/bin/env bash
# End-to-end test of ztd's HTML site and text file commands: both site
# layouts, escaping of hostile titles, the search page, text export with
# titles, text import and its failures. No converter is needed.
set -u
ZTD="$1"
. "$(dirname "$0")/lib.sh"

D="$T/D.ztd"
run new "$D" >/dev/null
run add "$D" / '<script>alert(1)</script>' >/dev/null
printf 'Grüße aus Köln\n' >"$T/t.txt"
run add "$D" / "Köln" --text-file "$T/t.txt" >/dev/null
run add "$D" /K%C3%B6ln "Unter" --text-file "$T/t.txt" >/dev/null

check "html site" 0 "$(run export "$D" --html "$T/web")"
S="$T/web/HTML-D"
check "site directory printed" "$S" "$(cat "$T/out")"
for f in ztContent.htm ztSearch.htm ztSearch.js ztSearch.json; do
  check "site has $f" 0 "$([ -f "$S/$f" ]; echo $?)"
done
check "levels: a page below its parent" 1 "$(find "$S" -path '*/K*ln/Unter/*.htm' | wc -l)"
check "no raw script from a title" 0 "$(grep -rl '<script>alert' "$S" | wc -l)"
check "title escaped in the contents" 1 "$(grep -c '&lt;script&gt;alert' "$S/ztContent.htm")"
grep -q 'aus K' "$S/ztSearch.json"; check "search index holds the page text" 0 $?
check "second site beside the first" 0 "$(run export "$D" --html "$T/web")"
check "second site name" "$T/web/HTML-D (#1)" "$(cat "$T/out")"
check "flat site" 0 "$(run export "$D" --html "$T/flat" --flat --no-search)"
check "flat: no page directories" 0 "$(find "$T/flat/HTML-D" -mindepth 1 -type d | wc -l)"
check "flat without search page" 1 "$([ -f "$T/flat/HTML-D/ztSearch.htm" ]; echo $?)"
check "html needs a value" 1 "$(run export "$D" --html)"

check "text export with titles" 0 "$(run export "$D" --text "$T/all.txt" --titles)"
# Plain text files are written in the Windows code page.
check "numbered title" 1 "$(grep -c "^2.1 Unter" "$T/all.txt")"
check "text in cp1252" 2 "$(iconv -f CP1252 -t UTF-8 "$T/all.txt" | grep -c 'Grüße aus Köln')"
check "rtf export" 0 "$(run export "$D" /K%C3%B6ln --text "$T/k.rtf")"
check "rtf file" '{\rtf1' "$(head -c 6 "$T/k.rtf")"

N="$T/N.ztd"
run new "$N" >/dev/null
printf 'Neu\nText' >"$T/n.txt"
check "text import" 0 "$(run import "$N" --text "$T/n.txt" "$T/k.rtf")"
run ls "$N" >/dev/null
check "imported pages" "$(printf 'n.txt\nk.rtf')" "$(cat "$T/out")"
cp "$N" "$T/before.ztd"
check "import of a missing file fails" 2 "$(run import "$N" --text "$T/fehlt.txt")"
cmp -s "$N" "$T/before.ztd"; check "document unchanged when nothing was read" 0 $?
check "one of two missing: the other is read, the status says so" 2 "$(run import "$N" --text "$T/n.txt" "$T/fehlt.txt")"
run ls "$N" >/dev/null
check "the readable one arrived" 3 "$(wc -l <"$T/out")"
exit $((fails > 0))
