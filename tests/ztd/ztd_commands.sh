#!/usr/bin/env bash
# End-to-end test of the ztd commands: every command on a fresh document, the
# exit codes and the German messages of failures.
set -u
ZTD="$1"
. "$(dirname "$0")/lib.sh"

D="$T/Notizen.ztd"
check "new" 0 "$(run new "$D")"
check "new refuses an existing file" 2 "$(run new "$D")"
printf 'Zeile eins\nTab\there {x} \\ \xc3\xa4\n' >"$T/text.txt"
check "add root" 0 "$(run add "$D" / "Projekte")"
check "add child with text" 0 "$(run add "$D" /Projekte "Kap.2" --text-file "$T/text.txt")"
check "add second child" 0 "$(run add "$D" /Projekte "Kap.2")"
check "add umlaut title" 0 "$(run add "$D" / "Größe")"
printf '{\\rtf1 stays as it is}' >"$T/page.rtf"
check "add rtf" 0 "$(run add "$D" / "Rtf" --text-file "$T/page.rtf")"

run ls "$D" >/dev/null
check "ls" "$(printf 'Projekte\n  Kap.2\n  Kap.2\nGröße\nRtf')" "$(cat "$T/out")"
run cat "$D" /Projekte/Kap%2E2 >/dev/null
check "cat converts plain text to page rtf" \
  '{\rtf1\ansi\ansicpg1252\deff0\deflang1031{\fonttbl{\f0\fnil\fcharset0 Arial;}{\f1\fnil\fcharset0 Courier New;}}' \
  "$(head -n1 "$T/out" | tr -d '\r')"
grep -q 'Zeile eins\\par Tab\\tab here \\{x\\} \\\\ \\'"'"'e4' "$T/out"; check "cat escapes" 0 $?
run cat "$D" /Rtf >/dev/null
check "rtf stored unchanged" '{\rtf1 stays as it is}' "$(cat "$T/out")"
check "cat second equal title" 0 "$(run cat "$D" '/Projekte/Kap%2E2(1)')"
check "cat missing page" 2 "$(run cat "$D" /Fehlt)"
check "missing page message" "Fehler: Seite /Fehlt nicht gefunden." "$(cat "$T/err")"

head -c 30000 /dev/urandom >"$T/blob.bin"
check "attach" 0 "$(run attach "$D" /Größe "$T/blob.bin" --as "Daten ä.bin")"
check "get" 0 "$(run get "$D" /Gr%F6%DFe "Daten ä.bin" -o "$T/back.bin")"
cmp -s "$T/blob.bin" "$T/back.bin"; check "get returns the bytes" 0 $?
run ls "$D" --json >/dev/null
grep -q '"name":"Daten ä.bin","size":30000,"crc32":"[0-9a-f]\{8\}"' "$T/out"; check "ls --json files" 0 $?
grep -q '"path":"/Projekte/Kap%2E2%281%29","title":"Kap.2","depth":2' "$T/out"; check "ls --json paths" 0 $?
run info "$D" --json >/dev/null
grep -q '"title":"Notizen".*"pages":5,"files":1,"form":"revision"' "$T/out"; check "info --json" 0 $?

mkdir -p "$T/Ordner/Unter"
printf 'eins' >"$T/Ordner/eins.txt"
printf 'zwei' >"$T/Ordner/Unter/zwei.txt"
check "attach a directory" 0 "$(run attach "$D" /Rtf "$T/Ordner")"
check "directory page file" 0 "$(run get "$D" /Rtf/Ordner/Unter "zwei.txt" -o "$T/zwei.txt")"
check "directory file bytes" "zwei" "$(cat "$T/zwei.txt")"
check "rm directory pages" 0 "$(run rm "$D" /Rtf/Ordner --subtree)"

check "rename" 0 "$(run rename "$D" /Rtf "Neu")"
check "rename to empty" 2 "$(run rename "$D" /Neu "  ")"
check "empty name message" "Fehler: Der gewählte Name ist leer." "$(cat "$T/err")"
check "detach" 0 "$(run detach "$D" /Gr%F6%DFe "Daten ä.bin")"
check "detach missing" 2 "$(run detach "$D" /Gr%F6%DFe "Daten ä.bin")"
check "rm page keeps children" 0 "$(run rm "$D" /Projekte)"
run ls "$D" >/dev/null
check "children moved up" "$(printf 'Kap.2\nKap.2\nGröße\nNeu')" "$(cat "$T/out")"
check "save --plain" 0 "$(run save "$D" "$T/copy.ztd" --plain)"
check "verify" 0 "$(run verify "$T/copy.ztd")"
check "verify output" "OK pages=4 files=0" "$(cat "$T/out")"

# Damaged and unknown files.
printf 'ZT04\0\0\0\0ZT01\1\0\0\0' >"$T/trunc.ztd"
check "truncated file" 2 "$(run ls "$T/trunc.ztd")"
grep -q 'Datei ist zerstört. Unleserlich.' "$T/err"; check "damaged message" 0 $?
# The message names the file and the reason in German; the reader's own
# detail only with --verbose.
grep -q "^$T/trunc.ztd\$" "$T/err"; check "damaged message names the file" 0 $?
grep -q 'Die Datei endet vorzeitig' "$T/err"; check "damaged message gives the reason" 0 $?
grep -q 'document error' "$T/err"; check "no reader detail without --verbose" 1 $?
check "truncated file, verbose" 2 "$(run ls "$T/trunc.ztd" --verbose)"
grep -q 'document error 2: ' "$T/err"; check "reader detail with --verbose" 0 $?
printf 'ZT04\0\0\0\0ZT0A' >"$T/later.ztd"
check "later version" 2 "$(run info "$T/later.ztd")"
grep -q 'unbekannte Formatversion' "$T/err"; check "later version message" 0 $?
# A flipped byte inside a compressed page text is found by verify.
python3 - "$D" "$T/flip.ztd" <<'PY'
import sys
b = bytearray(open(sys.argv[1], 'rb').read())
i = b.find(b'Kap.2') + 200
b[i] ^= 0x55
open(sys.argv[2], 'wb').write(b)
PY
out="$(run verify "$T/flip.ztd")"
check "verify finds damage" 2 "$out"
check "usage error" 1 "$(run frobnicate "$D")"
check "missing argument" 1 "$(run cat "$D")"

# The command line as a new user meets it: a table of
#   description | exit code | the one line on standard error (or stdout for --version) | arguments
E="$T/Geheim.ztd"
cp "$D" "$E"
ZT_PASSWORD=pw-alice "$ZTD" encrypt "$E" --name Alice >/dev/null 2>&1
row() {
  local what="$1" rc="$2" line="$3"; shift 3
  check "$what: exit" "$rc" "$(run "$@")"
  if [ "$what" = "version" ]; then check "$what: output" "$line" "$(cat "$T/out")"; return; fi
  check "$what: message" "$line" "$(cat "$T/err")"
}
while IFS='|' read -r what rc line args; do
  [ -z "$what" ] && continue
  eval "set -- $args"
  row "$what" "$rc" "$line" "$@"
done <<ROWS
version|0|ztd $(sed -n 's/^project(Zettrix VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")|--version
unknown command|1|ztd: unbekannter Befehl 'lss'|lss "$D"
unknown option|1|ztd: unbekannte Option '--jsn' für 'ls'|ls "$D" --jsn
option of another command|1|ztd: unbekannte Option '--subtree' für 'cat'|cat "$D" /Rtf --subtree
option without value|1|ztd: die Option '-o' braucht einen Wert|get "$D" /Rtf x -o
utf-8 escapes|0||cat "$D" /Gr%C3%B6%C3%9Fe
windows-1252 escapes|0||cat "$D" /Gr%F6%DFe
missing page|2|Fehler: Seite /Gr%C3%B6sse nicht gefunden.|cat "$D" /Gr%C3%B6sse
encrypted without --name|2|Fehler: Das Dokument ist verschlüsselt. Zugangsdaten mit --name NAME angeben, das Passwort in der Umgebungsvariablen ZT_PASSWORD oder am Terminal.|ls "$E"
ROWS
check "wrong password: exit" 2 "$(ZT_PASSWORD=falsch run ls "$E" --name Alice)"
check "wrong password: one message" "Fehler: Das Dokument ist verschlüsselt; Name oder Passwort sind falsch." "$(cat "$T/err")"
check "unknown name: one message" 2 "$(ZT_PASSWORD=pw-alice run ls "$E" --name Bob)"
check "unknown name message" "Fehler: Das Dokument ist verschlüsselt; Name oder Passwort sind falsch." "$(cat "$T/err")"
check "right password" 0 "$(ZT_PASSWORD=pw-alice run ls "$E" --name Alice)"

# rm of a page with children tells that they move up; --subtree says nothing.
R="$T/rm.ztd"
run new "$R" >/dev/null
for t in Eltern; do run add "$R" / "$t" >/dev/null; done
for t in A B C; do run add "$R" /Eltern "$t" >/dev/null; done
run add "$R" /Eltern/A "A1" >/dev/null
check "rm with children" 0 "$(run rm "$R" /Eltern)"
check "children move up message" "3 Unterseiten rücken eine Ebene höher" "$(cat "$T/err")"
check "rm with one child" 0 "$(run rm "$R" /A)"
check "one child message" "1 Unterseite rückt eine Ebene höher" "$(cat "$T/err")"
check "rm subtree" 0 "$(run rm "$R" /B --subtree)"
check "rm subtree is quiet" "" "$(cat "$T/err")"
run ls "$R" >/dev/null
check "tree after rm" "$(printf 'A1\nC')" "$(cat "$T/out")"
# Write errors say why.
check "new in a missing directory" 2 "$(run new "$T/fehlt/x.ztd")"
grep -q "Datei oder Verzeichnis nicht gefunden" "$T/err"; check "missing directory reason" 0 $?

if [ $fails -ne 0 ]; then echo "$fails checks failed"; exit 1; fi
echo "all ztd checks passed"
