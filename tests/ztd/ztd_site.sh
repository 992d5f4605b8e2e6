#!/usr/bin/env bash
# End-to-end test of ztd's HTML site and text file commands: both site
# layouts, the site of a subtree, escaping of hostile titles, the search page,
# text export with titles, text import and its failures. No converter is needed.
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

# The site of a subtree: only its pages, its top page at the top level, the
# document path in the titles, links inside resolving, links out plain text.
E="$T/E.ztd"
run new "$E" >/dev/null
run add "$E" / "Draussen" >/dev/null
run add "$E" / "Oben" >/dev/null
run add "$E" /Oben "Mitte" --text-file "$T/t.txt" >/dev/null
printf 'Hoch: zt:/Oben/Mitte Weg: zt:/Draussen Nachbar: zt:../Zwilling\n' >"$T/tief.txt"
run add "$E" /Oben/Mitte "Tief" --text-file "$T/tief.txt" >/dev/null
run add "$E" /Oben/Mitte "Zwilling" >/dev/null
check "subtree site" 0 "$(run export "$E" /Oben/Mitte --html "$T/sub")"
U="$T/sub/HTML-E"
check "subtree site printed" "$U" "$(cat "$T/out")"
check "only the subtree in the contents" 3 "$(grep -c '<li>' "$U/ztContent.htm")"
check "nothing from outside the subtree" 0 "$(grep -c 'Draussen\|Oben/zt' "$U/ztContent.htm")"
check "top page at the top level" 0 "$([ -f "$U/Mitte/zt-Mitte.htm" ]; echo $?)"
check "child below it" 0 "$([ -f "$U/Mitte/Tief/zt-Tief.htm" ]; echo $?)"
grep -q '<TITLE>E: /Oben/Mitte/Tief</TITLE>' "$U/Mitte/Tief/zt-Tief.htm"
check "title keeps the document path" 0 $?
check "absolute link resolves" 1 "$(grep -c 'HREF="../../Mitte/zt-Mitte.htm"' "$U/Mitte/Tief/zt-Tief.htm")"
check "link to a sibling resolves" 1 "$(grep -c 'HREF="../../Mitte/Zwilling/zt-Zwilling.htm"' "$U/Mitte/Tief/zt-Tief.htm")"
check "link out of the subtree is plain text" "0 1" \
  "$(grep -ci 'href="[^"]*Draussen' "$U/Mitte/Tief/zt-Tief.htm") $(grep -c 'zt:/Draussen' "$U/Mitte/Tief/zt-Tief.htm")"
# The addresses of the site's pages that name no file of the site.
deadlinks() {
  local dead=0 page dir href target
  while IFS= read -r page; do
    dir="$(dirname "$page")"
    for href in $(grep -oi 'href="[^"#]*"' "$page" | sed 's/^[^"]*"//; s/"$//'); do
      case "$href" in http*|mailto*) continue ;; esac
      target="$(printf '%b' "${href//%/\\x}")"
      [ -e "$dir/$target" ] || { echo "dead link in $page: $href" >&2; dead=$((dead+1)); }
    done
  done < <(find "$1" -name '*.htm')
  echo "$dead"
}
check "no dead links in the subtree site" 0 "$(deadlinks "$U")"
check "flat subtree site" 0 "$(run export "$E" /Oben/Mitte --html "$T/subflat" --flat)"
check "flat: names from the subtree's top" 0 "$([ -f "$T/subflat/HTML-E/Mitte-Tief-zt-Tief.htm" ]; echo $?)"
check "flat: link to a sibling" 1 \
  "$(grep -c 'HREF="Mitte-Zwilling-zt-Zwilling.htm"' "$T/subflat/HTML-E/Mitte-Tief-zt-Tief.htm")"
# Long titles on a deep path and a long file name: every name still fits
# the disk in the flat layout, and the file list's link leads to the file.
L="$T/L.ztd"
run new "$L" >/dev/null
A="$(printf 'A%.0s' $(seq 70))"; B="$(printf 'B%.0s' $(seq 70))"
run add "$L" / "$A" >/dev/null
run add "$L" "/$A" "$B" >/dev/null
F="$T/$(printf 'f%.0s' $(seq 230)).txt"
echo Inhalt >"$F"
run attach "$L" "/$A/$B" "$F" >/dev/null
check "flat site of long names" "0 0" "$(run export "$L" --html "$T/long" --flat) $(grep -c Fehler "$T/err")"
check "the long-named file is written" 1 "$(grep -rl '^Inhalt$' "$T/long/HTML-L" | wc -l)"
check "no dead links with long names" 0 "$(deadlinks "$T/long/HTML-L")"
check "subtree of a missing page" 2 "$(run export "$E" /Fehlt --html "$T/none")"
check "no site for a missing page" 1 "$([ -d "$T/none/HTML-E" ]; echo $?)"
check "html takes no --page" 1 "$(run export "$E" /Oben --html "$T/none" --page)"

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
mkfifo "$T/pipe.txt"
check "a pipe is not read (no hang), and told" "2 1" \
  "$(timeout 20 "$ZTD" import "$N" --text "$T/pipe.txt" >/dev/null 2>"$T/err"; echo $?) $(grep -c 'Fehler beim Laden' "$T/err")"
cmp -s "$N" "$T/before.ztd"; check "document unchanged after the pipe" 0 $?
check "one of two missing: the other is read, the status says so" 2 "$(run import "$N" --text "$T/n.txt" "$T/fehlt.txt")"
run ls "$N" >/dev/null
check "the readable one arrived" 3 "$(wc -l <"$T/out")"
exit $((fails > 0))
