#!/usr/bin/env bash
# End-to-end test of encrypted documents through ztd: encrypt, the credentials
# of every reading command, editing names, a damaged remainder, plain copies,
# decrypt, and the password prompt without echo on a terminal.
set -u
ZTD="$1"
. "$(dirname "$0")/lib.sh"
# run [VAR=value ...] ARGS: exit code; stdout in $T/out, stderr in $T/err; no terminal.
run() { env -u ZT_PASSWORD -u ZT_NEW_PASSWORD "$@" </dev/null >"$T/out" 2>"$T/err"; echo $?; }
has() { grep -qF -- "$1" "$T/err" && echo yes || echo no; }

D="$T/Geheim.ztd"
printf 'vertraulicher Text\n' >"$T/text.txt"
printf 'Anhang mit Inhalt' >"$T/anhang.txt"
check "new" 0 "$(run "$ZTD" new "$D")"
check "add" 0 "$(run "$ZTD" add "$D" / Projekt --text-file "$T/text.txt")"
check "attach" 0 "$(run "$ZTD" attach "$D" /Projekt "$T/anhang.txt" --as "geheimer-anhang.txt")"

check "encrypt needs a name" 2 "$(run ZT_PASSWORD=pw-alice "$ZTD" encrypt "$D")"
check "encrypt" 0 "$(run ZT_PASSWORD=pw-alice "$ZTD" encrypt "$D" --name Alice)"
check "no file name in clear" 0 "$(grep -c geheimer-anhang "$D")"
check "encrypt twice" 2 "$(run ZT_PASSWORD=pw-alice "$ZTD" encrypt "$D" --name Alice)"
check "already encrypted message" yes "$(has 'Das Dokument ist bereits verschlüsselt.')"

check "info opens with the password" 0 "$(run ZT_PASSWORD=pw-alice "$ZTD" info "$D" --name Alice --json)"
grep -q '"pages":1,"files":1,"form":"encrypted"' "$T/out"; check "info form" 0 $?
check "cat" 0 "$(run ZT_PASSWORD=pw-alice "$ZTD" cat "$D" /Projekt --name Alice)"
grep -q 'vertraulicher Text' "$T/out"; check "cat text" 0 $?
check "get" 0 "$(run ZT_PASSWORD=pw-alice "$ZTD" get "$D" /Projekt geheimer-anhang.txt --name Alice)"
check "get content" "Anhang mit Inhalt" "$(cat "$T/out")"

check "no credentials" 2 "$(run "$ZTD" ls "$D")"
check "no credentials message says how" "Fehler: Das Dokument ist verschlüsselt. Zugangsdaten mit --name NAME angeben, das Passwort in der Umgebungsvariablen ZT_PASSWORD oder am Terminal." "$(cat "$T/err")"
check "wrong password" 2 "$(run ZT_PASSWORD=falsch "$ZTD" ls "$D" --name Alice)"
check "wrong password: one message" "Fehler: Das Dokument ist verschlüsselt; Name oder Passwort sind falsch." "$(cat "$T/err")"
check "unknown name" 2 "$(run ZT_PASSWORD=pw-alice "$ZTD" ls "$D" --name Mallory)"
check "unknown name is silent" no "$(has 'KeyMAC')"

check "add a name" 0 "$(run ZT_PASSWORD=pw-alice ZT_NEW_PASSWORD=pw-bob "$ZTD" passwd "$D" --name Alice --add Bob)"
check "the second name opens" 0 "$(run ZT_PASSWORD=pw-bob "$ZTD" ls "$D" --name Bob)"
check "the first still opens" 0 "$(run ZT_PASSWORD=pw-alice "$ZTD" ls "$D" --name Alice)"
check "an empty name removes nothing" 2 "$(run ZT_PASSWORD=pw-alice "$ZTD" passwd "$D" --name Alice --remove '')"
check "missing credentials message" yes "$(has 'Bitte geben Sie einen Nutzernamen und das Passwort ein.')"
check "the own block cannot go" 2 "$(run ZT_PASSWORD=pw-alice "$ZTD" passwd "$D" --name Alice --remove Alice)"
check "remove a name" 0 "$(run ZT_PASSWORD=pw-alice "$ZTD" passwd "$D" --name Alice --remove Bob)"
check "the removed name fails" 2 "$(run ZT_PASSWORD=pw-bob "$ZTD" ls "$D" --name Bob)"
check "change the name" 0 "$(run ZT_PASSWORD=pw-alice ZT_NEW_PASSWORD=pw-carol "$ZTD" passwd "$D" --name Alice --change Carol)"
check "the old name fails" 2 "$(run ZT_PASSWORD=pw-alice "$ZTD" ls "$D" --name Alice)"
check "the new name opens" 0 "$(run ZT_PASSWORD=pw-carol "$ZTD" ls "$D" --name Carol)"
check "passwd without an action" 1 "$(run ZT_PASSWORD=pw-carol "$ZTD" passwd "$D" --name Carol)"

# A flipped byte in the encrypted remainder refuses the open.
python3 - "$D" "$T/flip.ztd" <<'PY'
import sys
b = bytearray(open(sys.argv[1], 'rb').read())
i = b.find(b'ZT06') + 4 + 40
b[i] ^= 0x01
open(sys.argv[2], 'wb').write(b)
PY
check "flipped byte" 2 "$(run ZT_PASSWORD=pw-carol "$ZTD" ls "$T/flip.ztd" --name Carol)"
check "flipped byte message" "Warnung: Data MAC Bad: Data is corrupt" "$(cat "$T/err")"

# A plain copy needs no credentials; the document stays encrypted.
check "plain copy" 0 "$(run ZT_PASSWORD=pw-carol "$ZTD" save "$D" "$T/copy.ztd" --plain --name Carol)"
check "copy opens without credentials" 0 "$(run "$ZTD" verify "$T/copy.ztd")"
check "document still encrypted" 2 "$(run "$ZTD" ls "$D")"

# The password prompt on a terminal shows no echo and asks again after a
# failure (name kept with an empty answer). The answers are typed one by one.
if command -v script >/dev/null; then
  type_answers() { for a in falsch '' pw-carol; do sleep 0.5; printf '%s\n' "$a"; done; sleep 0.5; }
  out="$(type_answers | env -u ZT_PASSWORD script -qec "$ZTD ls '$D' --name Carol" /dev/null 2>&1)"
  check "terminal prompt opens" yes "$(printf '%s' "$out" | grep -q Projekt && echo yes || echo no)"
  check "terminal prompt without echo" no "$(printf '%s' "$out" | grep -q pw-carol && echo yes || echo no)"
  check "terminal asks again" yes "$(printf '%s' "$out" | grep -q 'KeyMAC Bad' && echo yes || echo no)"
fi

check "decrypt" 0 "$(run ZT_PASSWORD=pw-carol "$ZTD" decrypt "$D" --name Carol)"
check "decrypted opens without credentials" 0 "$(run "$ZTD" info "$D" --json)"
grep -q '"form":"revision"' "$T/out"; check "decrypted form" 0 $?
check "decrypt a plain document" 2 "$(run "$ZTD" decrypt "$D")"

if [ $fails -ne 0 ]; then echo "$fails checks failed"; exit 1; fi
echo "all ztd encryption checks passed"
