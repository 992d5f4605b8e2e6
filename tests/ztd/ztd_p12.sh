#!/usr/bin/env bash
# End-to-end test of documents encrypted to the certificate of a PKCS#12 key
# file through ztd: key files made by openssl, encrypt with --p12, open with
# the file and its password, a name beside the certificate, wrong password,
# wrong certificate, and editing with --add-p12 / --remove-p12.
set -u
ZTD="$1"
. "$(dirname "$0")/lib.sh"
if ! command -v openssl >/dev/null; then echo "SKIP: the openssl command line is not installed"; exit 0; fi
run() { env -u ZT_PASSWORD -u ZT_NEW_PASSWORD -u ZT_P12_PASSWORD -u ZT_NEW_P12_PASSWORD "$@" </dev/null >"$T/out" 2>"$T/err"; echo $?; }
has() { grep -qF -- "$1" "$T/err" && echo yes || echo no; }

mk() { # stem subject key-options p12-options
  openssl req -x509 $3 -nodes -keyout "$T/$1.key" -out "$T/$1.crt" -subj "$2" -days 30 >/dev/null 2>&1 &&
  openssl pkcs12 -export $4 -inkey "$T/$1.key" -in "$T/$1.crt" -out "$T/$1.p12" -passout pass:geheim >/dev/null 2>&1
}
mk alice "/CN=Alice" "-newkey rsa:2048" "" || { echo "FAIL: openssl"; exit 1; }
mk bob "/CN=Bob" "-newkey rsa:2048" "-legacy -keypbe PBE-SHA1-3DES -certpbe PBE-SHA1-3DES" || { echo "FAIL: openssl"; exit 1; }
mk erika "/CN=Erika" "-newkey ec -pkeyopt ec_paramgen_curve:P-256" "" || { echo "FAIL: openssl"; exit 1; }

D="$T/Zert.ztd"
printf 'vertraulicher Text\n' >"$T/text.txt"
check "new" 0 "$(run "$ZTD" new "$D")"
check "add" 0 "$(run "$ZTD" add "$D" / Projekt --text-file "$T/text.txt")"
check "encrypt, wrong key file password" 2 "$(run ZT_P12_PASSWORD=falsch "$ZTD" encrypt "$D" --p12 "$T/alice.p12")"
check "wrong key file password message" yes "$(has 'Das Passwort war falsch.')"
check "still plain" 0 "$(run "$ZTD" ls "$D")"
check "encrypt to an EC certificate is refused" 2 "$(run ZT_P12_PASSWORD=geheim "$ZTD" encrypt "$D" --p12 "$T/erika.p12")"
check "not a key file" 2 "$(run ZT_P12_PASSWORD=geheim "$ZTD" encrypt "$D" --p12 "$T/alice.crt")"
check "not a key file message" yes "$(has 'Die PKCS#12 Datei konnte nicht initialisiert werden.')"
check "encrypt to the certificate" 0 "$(run ZT_P12_PASSWORD=geheim "$ZTD" encrypt "$D" --p12 "$T/alice.p12")"
check "no credentials" 2 "$(run "$ZTD" ls "$D")"
check "opens with the key file" 0 "$(run ZT_P12_PASSWORD=geheim "$ZTD" cat "$D" /Projekt --p12 "$T/alice.p12")"
grep -q 'vertraulicher Text' "$T/out"; check "text" 0 $?
check "wrong key file password" 2 "$(run ZT_P12_PASSWORD=falsch "$ZTD" ls "$D" --p12 "$T/alice.p12")"
check "wrong password message" yes "$(has 'Das Passwort war falsch.')"
check "nothing opened" no "$(grep -q Projekt "$T/out" && echo yes || echo no)"
check "wrong certificate" 2 "$(run ZT_P12_PASSWORD=geheim "$ZTD" ls "$D" --p12 "$T/bob.p12")"
check "wrong certificate message" yes "$(has 'Das Dokument ist verschlüsselt.')"

check "add a name" 0 "$(run ZT_P12_PASSWORD=geheim ZT_NEW_PASSWORD=pw-carol "$ZTD" passwd "$D" --p12 "$T/alice.p12" --add Carol)"
check "the name opens" 0 "$(run ZT_PASSWORD=pw-carol "$ZTD" ls "$D" --name Carol)"
check "the certificate still opens" 0 "$(run ZT_P12_PASSWORD=geheim "$ZTD" ls "$D" --p12 "$T/alice.p12")"
check "add a second certificate" 0 "$(run ZT_PASSWORD=pw-carol ZT_NEW_P12_PASSWORD=geheim "$ZTD" passwd "$D" --name Carol --add-p12 "$T/bob.p12")"
check "the second certificate opens" 0 "$(run ZT_P12_PASSWORD=geheim "$ZTD" ls "$D" --p12 "$T/bob.p12")"
check "remove the first certificate" 0 "$(run ZT_P12_PASSWORD=geheim ZT_NEW_P12_PASSWORD=geheim "$ZTD" passwd "$D" --p12 "$T/bob.p12" --remove-p12 "$T/alice.p12")"
check "the removed certificate fails" 2 "$(run ZT_P12_PASSWORD=geheim "$ZTD" ls "$D" --p12 "$T/alice.p12")"
check "decrypt with the certificate" 0 "$(run ZT_P12_PASSWORD=geheim "$ZTD" decrypt "$D" --p12 "$T/bob.p12")"
check "plain again" 0 "$(run "$ZTD" ls "$D")"

# The key file password prompt on a terminal shows no echo.
if command -v script >/dev/null; then
  check "encrypt again" 0 "$(run ZT_P12_PASSWORD=geheim "$ZTD" encrypt "$D" --p12 "$T/alice.p12")"
  type_answers() { for a in falsch geheim; do sleep 0.5; printf '%s\n' "$a"; done; sleep 0.5; }
  out="$(type_answers | env -u ZT_P12_PASSWORD script -qec "$ZTD ls '$D' --p12 '$T/alice.p12'" /dev/null 2>&1)"
  check "terminal prompt opens" yes "$(printf '%s' "$out" | grep -q Projekt && echo yes || echo no)"
  check "terminal prompt without echo" no "$(printf '%s' "$out" | grep -q geheim && echo yes || echo no)"
  check "terminal asks again" yes "$(printf '%s' "$out" | grep -q 'Das Passwort war falsch' && echo yes || echo no)"
fi

if [ $fails -ne 0 ]; then echo "$fails checks failed"; exit 1; fi
echo "all ztd key file checks passed"
