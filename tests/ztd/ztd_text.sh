#!/usr/bin/env bash
# End-to-end test of "ztd cat" in its text and HTML forms: plain text in
# UTF-8, an HTML document on standard output, and an HTML file with its
# pictures beside it (a metafile drawn as JPEG, a PNG as it is).
set -u
ZTD="$1"
DRAWS="${2:-ON}"  # OFF when built without QtGui: metafiles are not drawn then
. "$(dirname "$0")/lib.sh"

D="$T/Texte.ztd"
check "new" 0 "$(run new "$D")"
printf 'Zeile eins\nGr\xc3\xb6\xc3\x9fe {x}\n' >"$T/plain.txt"
check "add plain" 0 "$(run add "$D" / "Schlicht" --text-file "$T/plain.txt")"
# A page with a bold word, an umlaut, a red metafile square of 1.27 cm and
# a PNG of 2 x 2 pixels.
python3 - "$T/pic.rtf" <<'PY'
import struct, sys
def rec(func, words=b''):
    return struct.pack('<IH', 3 + len(words) // 2, func) + words
body = rec(0x020C, struct.pack('<hh', 100, 100))
body += rec(0x02FC, struct.pack('<HIH', 0, 0x0000FF, 0)) + rec(0x012D, struct.pack('<H', 0))
body += rec(0x041B, struct.pack('<hhhh', 100, 100, 0, 0)) + rec(0)
wmf = (struct.pack('<HHHIHIH', 1, 9, 0x300, 9 + len(body) // 2, 2, 0, 0) + body).hex()
png = ('89504e470d0a1a0a0000000d4948445200000002000000020802000000fdd49a730000001049444154789c63f8cf'
       'c000440c100a001fee03fd8b5f14d40000000049454e44ae426082')
open(sys.argv[1], 'w').write('{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Ein \\b fettes\\b0  Bild f\\\'fcr '
                             '{\\pict\\wmetafile8\\picw1270\\pich1270\r\n%s\r\n} und {\\pict\\pngblip\\picw2\\pich2 %s}\\par}'
                             % (wmf, png))
PY
check "add rtf" 0 "$(run add "$D" / "Bild" --text-file "$T/pic.rtf")"

check "cat --text plain" 0 "$(run cat "$D" /Schlicht --text)"
check "plain text in UTF-8" "$(printf 'Zeile eins\nGröße {x}')" "$(cat "$T/out")"
check "cat --text rtf" 0 "$(run cat "$D" /Bild --text)"
check "pictures become spaces" "Ein fettes Bild für   und  " "$(cat "$T/out")"

check "cat --html" 0 "$(run cat "$D" /Bild --html)"
head -n1 "$T/out" | grep -q '^<!doctype html'; check "html document" 0 $?
grep -q '<TITLE>Bild</TITLE>' "$T/out"; check "page title" 0 $?
grep -q '<B><FONT FACE="Arial">fettes</FONT></B>.* Bild f&uuml;r' "$T/out"; check "html text" 0 $?
check "no pictures without a file" "" "$(grep -c '<IMG' "$T/out" | grep -v '^0$')"

mkdir -p "$T/html"
check "cat --html -o" 0 "$(run cat "$D" /Bild --html -o "$T/html/bild.htm")"
check "nothing on standard output" "" "$(cat "$T/out")"
if [ "$DRAWS" = ON ]; then
  grep -q '<IMG SRC="bildImg0.jpg"' "$T/html/bild.htm"; check "metafile as jpg" 0 $?
  check "jpeg written" "$(printf '\xff\xd8')" "$(head -c2 "$T/html/bildImg0.jpg")"
  check "metafile source removed" 0 "$(ls "$T/html" | grep -c wmf)"
fi
grep -q '<IMG SRC="bildImg1.png"' "$T/html/bild.htm"; check "png as it is" 0 $?
check "png bytes" "89504e47" "$(head -c4 "$T/html/bildImg1.png" | od -An -tx1 | tr -d ' \n')"

check "both forms at once" 1 "$(run cat "$D" /Bild --text --html)"
check "html into a missing directory" 2 "$(run cat "$D" /Bild --html -o "$T/no/such/x.htm")"
check "write failure says why" "Fehler: Die Datei $T/no/such/x.htm konnte nicht geschrieben werden: Datei oder Verzeichnis nicht gefunden" "$(cat "$T/err")"
check "missing page" 2 "$(run cat "$D" /Fehlt --text)"

if [ $fails -ne 0 ]; then echo "$fails checks failed"; exit 1; fi
echo "all ztd text checks passed"
