#!/usr/bin/env bash
# End-to-end test of "ztd print": the whole document, a subtree and a page
# laid out into PDF sheets, every composed page on a sheet of its own, with
# numbered titles and the header and footer lines. The text comes back with
# pdftotext, the ink with pdftoppm.
set -u
ZTD="$1"
. "$(dirname "$0")/lib.sh"
if ! command -v pdftotext >/dev/null || ! command -v pdftoppm >/dev/null; then
  echo "SKIP: pdftotext/pdftoppm (poppler-utils) missing"; exit 0
fi

# The text of sheet N (1-based) of a PDF, one line per text line.
sheet() { python3 -c 'import sys; print(open(sys.argv[1]).read().split("\f")[int(sys.argv[2])-1])' "$1" "$2"; }
sheets() { pdftotext -layout "$1" "$T/pdf.txt" && python3 -c 'import sys; print(len(open(sys.argv[1]).read().rstrip("\f").split("\f")))' "$T/pdf.txt"; }

D="$T/Notizen.ztd"
check "new" 0 "$(run new "$D")"
printf 'Kurzer Text Gr\xc3\xbc\xc3\x9fe\n' >"$T/short.txt"
python3 -c 'import sys; open(sys.argv[1], "w").write("\n".join("Zeile %d mit Umlauten äöü ß" % i for i in range(120)))' "$T/long.txt"
check "add 1" 0 "$(run add "$D" / "Erste Seite" --text-file "$T/short.txt")"
check "add 1.1" 0 "$(run add "$D" "/Erste Seite" "Lange Ünterseite" --text-file "$T/long.txt")"
check "add 1.1.1" 0 "$(run add "$D" "/Erste Seite/Lange Ünterseite" "Blatt" --text-file "$T/short.txt")"
check "add 2" 0 "$(run add "$D" / "Zweite" --text-file "$T/short.txt")"

# Three short pages that would fit on one sheet still take one sheet each.
S="$T/Kurz.ztd"
run new "$S" >/dev/null
for t in Eins Zwei Drei; do run add "$S" / "$t" --text-file "$T/short.txt" >/dev/null; done
check "three short pages" 0 "$(run print "$S" -o "$T/kurz.pdf")"
check "three short pages: three sheets" 3 "$(sheets "$T/kurz.pdf")"
check "no header without the option" "" "$(grep -c 'Seite' "$T/pdf.txt" | grep -v '^0$')"

# The whole document with titles, header and footer: the long page takes three
# sheets, its header repeats its heading, the footer counts the sheets.
check "whole document" 0 "$(run print "$D" --titles --header "" --footer "" -o "$T/all.pdf")"
check "whole document: sheets" 6 "$(sheets "$T/all.pdf")"
sheet "$T/pdf.txt" 1 >"$T/s1"
sheet "$T/pdf.txt" 3 >"$T/s3"
sheet "$T/pdf.txt" 5 >"$T/s5"
sheet "$T/pdf.txt" 6 >"$T/s6"
check "sheet 1 header" "1 Erste Seite" "$(head -n 1 "$T/s1" | sed 's/ *$//')"
check "sheet 1 umlauts" 1 "$(grep -c 'Kurzer Text Grüße' "$T/s1")"
check "sheet 1 footer" 1 "$(grep -c 'Notizen.ztd, .*Seite 1$' "$T/s1")"
# The date is German whatever the locale of the process.
check "sheet 1 footer date" 1 "$(LC_ALL=C.UTF-8 grep -cE 'Notizen.ztd, (Mo|Di|Mi|Do|Fr|Sa|So)\., [0-9]{2}\.[0-9]{2}\.[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} ' "$T/s1")"
check "sheet 3 header: the long page again" "1.1 Lange Ünterseite" "$(head -n 1 "$T/s3" | sed 's/ *$//')"
check "sheet 3 footer" 1 "$(grep -c 'Seite 3$' "$T/s3")"
check "sheet 3 continues the long page" 1 "$(grep -c '^Zeile 60 mit Umlauten äöü ß' "$T/s3")"
check "sheet 3 holds no other page" 0 "$(grep -c 'Blatt\|Zweite' "$T/s3")"
check "sheet 5 the grandchild" "1.1.1 Blatt" "$(head -n 1 "$T/s5" | sed 's/ *$//')"
check "sheet 6 the second root page" "2 Zweite" "$(head -n 1 "$T/s6" | sed 's/ *$//')"
check "sheet 6 footer" 1 "$(grep -c 'Seite 6$' "$T/s6")"
check "each line once" 1 "$(grep -c '^Zeile 49 ' "$T/pdf.txt")"

# A subtree: numbered from 1 again; a page alone: one sheet.
check "subtree" 0 "$(run print "$D" "/Erste Seite/Lange Ünterseite" --subtree --titles -o "$T/sub.pdf")"
check "subtree sheets" 4 "$(sheets "$T/sub.pdf")"
check "subtree numbering" "1 Lange Ünterseite|1.1 Blatt" \
  "$(sed 's/\f//; s/ *$//' "$T/pdf.txt" | grep -x '1 Lange Ünterseite\|1\.1 Blatt' | sort -u | paste -sd'|')"
check "page alone" 0 "$(run print "$D" "/Zweite" --header "Kopf: {heading} von {title}" --footer "{title}" -o "$T/page.pdf")"
check "page alone: one sheet" 1 "$(sheets "$T/page.pdf")"
check "own header fields" 1 "$(grep -c '^Kopf: 1 Zweite von Notizen.ztd' "$T/pdf.txt")"
check "own footer and sheet number" 1 "$(grep -c '^Notizen.ztd  *Seite 1$' "$T/pdf.txt")"

# The footer is ink below the text: the bottom fifth of a short page's sheet
# at 50 dpi holds dark pixels with the footer, none without.
ink() { pdftoppm -r 50 -gray -f 1 -l 1 "$1" "$T/ink" && python3 - "$T"/ink*.pgm <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
parts = data.split(b'\n', 3)
w, h = map(int, parts[1].split()); pixels = parts[3]
bottom = pixels[w * (h - h // 5):]
print(sum(1 for p in bottom if p < 160) > 0)
PY
rm -f "$T"/ink*.pgm; }
check "footer drawn" True "$(ink "$T/all.pdf")"
check "no ink below the text without footer" False "$(ink "$T/kurz.pdf")"

# Errors: no output, an unknown page, an output in a missing directory.
check "no -o" 1 "$(run print "$D")"
check "unknown page" 2 "$(run print "$D" /Fehlt -o "$T/x.pdf")"
check "subtree without a page" 1 "$(run print "$D" --subtree -o "$T/x.pdf")"
check "missing directory" 2 "$(run print "$D" -o "$T/nicht/da.pdf")"
check "nothing written" "" "$(ls "$T/nicht" 2>/dev/null; ls "$T"/x.pdf 2>/dev/null)"

[ "$fails" -eq 0 ] && echo "ok" || { echo "$fails failures"; exit 1; }
