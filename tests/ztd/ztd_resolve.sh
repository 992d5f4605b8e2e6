#!/usr/bin/env bash
# End-to-end test of "ztd resolve": page texts and attached files of a
# document file named by an address, files of the file system, the open
# document given with --doc, an encrypted document, and the error texts.
set -u
ZTD="$1"
. "$(dirname "$0")/lib.sh"

D="$T/Skripte.ztd"
check "new" 0 "$(run new "$D")"
check "add page" 0 "$(run add "$D" / "Skripte")"
printf 'Zeile eins\nGr\xc3\xb6\xc3\x9fe\n' >"$T/kap.txt"
check "add child" 0 "$(run add "$D" /Skripte "Kap.2" --text-file "$T/kap.txt")"
printf 'var x = 1;\n' >"$T/lib.js"
check "attach" 0 "$(run attach "$D" /Skripte "$T/lib.js" --as "lib x.js")"
before="$(od -An -tx1 "$D" | md5sum)"

check "page text" 0 "$(run resolve "zt:$D?/Skripte/Kap%2E2")"
check "page text in UTF-8" "$(printf 'Zeile eins\nGröße')" "$(cat "$T/out")"
check "double slash and ;" 0 "$(run resolve "zt:/$D;/Skripte/Kap.2")"
check "same text" "$(printf 'Zeile eins\nGröße')" "$(cat "$T/out")"
check "attached file" 0 "$(run resolve "ztf:$D?/Skripte/lib+x.js")"
check "file bytes" "var x = 1;" "$(cat "$T/out")"
check "into a file" 0 "$(run resolve "ztf:$D?/Skripte/lib%20x.js" -o "$T/copy.js")"
check "nothing on standard output" "" "$(cat "$T/out")"
check "file written" "var x = 1;" "$(cat "$T/copy.js")"
check "file system" 0 "$(run resolve "file:$T/lib.js")"
check "file system bytes" "var x = 1;" "$(cat "$T/out")"
check "open document" 0 "$(run resolve "zt:/?/Skripte/Kap.2" --doc "$D")"
check "open document text" "$(printf 'Zeile eins\nGröße')" "$(cat "$T/out")"
check "document only read" "$before" "$(od -An -tx1 "$D" | md5sum)"

fails_with() { # DESCRIPTION MESSAGE ARGS...
  local what="$1" message="$2"; shift 2
  check "$what: exit code" 2 "$(run "$@")"
  check "$what: message" "Fehler: $message" "$(cat "$T/err")"
}
fails_with "no open document" "No valid archive name." resolve "zt:/?/Skripte"
fails_with "short document part" "No valid archive name." resolve "zt:/ab?/Skripte"
fails_with "no page name" "No archive page name." resolve "ztf:$D?lib.js"
fails_with "missing page" "Page not found '/Fehlt'" resolve "zt:$D?/Fehlt"
fails_with "missing attached file" "File not found 'nein.js'" resolve "ztf:$D?/Skripte/nein.js"
fails_with "missing document" "File not found '$T/nein.ztd'" resolve "zt:$T/nein.ztd?/Skripte"
fails_with "missing file" "File not found '$T/nein.js'" resolve "file:$T/nein.js"
printf 'ZT05 kaputt' >"$T/kaputt.ztd"
check "damaged document" 2 "$(run resolve "zt:$T/kaputt.ztd?/Skripte")"
grep -q '^Fehler: Datei ist zerstört. Unleserlich.' "$T/err"; check "reader message" 0 $?
check "no address" 1 "$(run resolve)"

E="$T/Geheim.ztd"
cp "$D" "$E"
check "encrypt" 0 "$(ZT_PASSWORD=pw "$ZTD" encrypt "$E" --name Alice </dev/null >/dev/null 2>&1; echo $?)"
check "encrypted document" 0 "$(ZT_PASSWORD=pw "$ZTD" resolve "ztf:$E?/Skripte/lib+x.js" --name Alice </dev/null 2>"$T/err" >"$T/out"; echo $?)"
check "encrypted file bytes" "var x = 1;" "$(cat "$T/out")"
check "wrong password" 2 "$(ZT_PASSWORD=falsch "$ZTD" resolve "ztf:$E?/Skripte/lib+x.js" --name Alice </dev/null 2>/dev/null >/dev/null; echo $?)"

if [ $fails -ne 0 ]; then echo "$fails checks failed"; exit 1; fi
echo "all ztd resolve checks passed"
