#!/usr/bin/env bash
# End-to-end test of documents encrypted to the certificate on a PKCS#11
# token through ztd: a SoftHSM2 token set up in the scratch directory, encrypt
# with --pkcs11, open with the PIN, wrong PIN, missing driver, a name beside
# the certificate.
set -u
ZTD="$1"
. "$(dirname "$0")/lib.sh"
M=/usr/lib/softhsm/libsofthsm2.so
for c in softhsm2-util pkcs11-tool openssl; do
  command -v $c >/dev/null || { echo "SKIP: $c is not installed"; exit 0; }
done
[ -f "$M" ] || { echo "SKIP: SoftHSM2 is not installed"; exit 0; }
export SOFTHSM2_CONF="$T/softhsm2.conf"
mkdir "$T/tokens"
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$T/tokens" >"$SOFTHSM2_CONF"
q() { "$@" >/dev/null 2>&1 || { echo "FAIL: $*"; exit 1; }; }
q softhsm2-util --init-token --free --label ZtTest --pin 1234 --so-pin 5678
q openssl req -x509 -newkey rsa:2048 -nodes -keyout "$T/a.key" -out "$T/a.crt" -subj /CN=Alice -days 30
q openssl x509 -in "$T/a.crt" -outform DER -out "$T/a.der"
q openssl pkcs8 -topk8 -nocrypt -in "$T/a.key" -outform DER -out "$T/a.p8"
P11="pkcs11-tool --module $M --token-label ZtTest --login --pin 1234"
q $P11 --write-object "$T/a.p8" --type privkey --id 01 --label alice
q $P11 --write-object "$T/a.der" --type cert --id 01 --label alice

run() { env -u ZT_PASSWORD -u ZT_NEW_PASSWORD -u ZT_PIN "$@" </dev/null >"$T/out" 2>"$T/err"; echo $?; }
has() { grep -qF -- "$1" "$T/err" && echo yes || echo no; }

D="$T/Token.ztd"
printf 'vertraulicher Text\n' >"$T/text.txt"
check "new" 0 "$(run "$ZTD" new "$D")"
check "add" 0 "$(run "$ZTD" add "$D" / Projekt --text-file "$T/text.txt")"
check "missing driver" 2 "$(run "$ZTD" encrypt "$D" --pkcs11 "$T/fehlt.so")"
check "missing driver message" yes "$(has "Der PKCS#11 Treiber '$T/fehlt.so' konnte nicht initialisiert werden.")"
check "unknown certificate" 2 "$(run "$ZTD" encrypt "$D" --pkcs11 "$M" --cert bob)"
check "unknown certificate message" yes "$(has 'Es wurde kein gültiger Token ausgewählt.')"
check "encrypt to the token's certificate" 0 "$(run "$ZTD" encrypt "$D" --pkcs11 "$M" --token ZtTest --cert 01)"
check "no credentials" 2 "$(run "$ZTD" ls "$D")"
check "opens with the PIN" 0 "$(run ZT_PIN=1234 "$ZTD" cat "$D" /Projekt --pkcs11 "$M" --cert alice)"
grep -q 'vertraulicher Text' "$T/out"; check "text" 0 $?
check "wrong PIN" 2 "$(run ZT_PIN=9999 "$ZTD" ls "$D" --pkcs11 "$M")"
check "wrong PIN message" yes "$(has 'Das Passwort war falsch.')"
check "nothing opened" no "$(grep -q Projekt "$T/out" && echo yes || echo no)"
check "add a name" 0 "$(run ZT_PIN=1234 ZT_NEW_PASSWORD=pw-carol "$ZTD" passwd "$D" --pkcs11 "$M" --add Carol)"
check "the name opens" 0 "$(run ZT_PASSWORD=pw-carol "$ZTD" ls "$D" --name Carol)"
check "the token still opens" 0 "$(run ZT_PIN=1234 "$ZTD" ls "$D" --pkcs11 "$M")"
check "remove the token's block" 0 "$(run ZT_PASSWORD=pw-carol "$ZTD" passwd "$D" --name Carol --remove-pkcs11 "$M")"
check "the token no longer opens" 2 "$(run ZT_PIN=1234 "$ZTD" ls "$D" --pkcs11 "$M")"

if [ $fails -ne 0 ]; then echo "$fails checks failed"; exit 1; fi
echo "all ztd token checks passed"
