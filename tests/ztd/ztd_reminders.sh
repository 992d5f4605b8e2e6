#!/usr/bin/env bash
# End-to-end test of "ztd remind" and "ztd reminders": adding reminders with
# and without a page, repetition and mail, listing them with their next time,
# and the failures.
set -u
ZTD="$1"
. "$(dirname "$0")/lib.sh"
export TZ=Europe/Berlin XDG_DATA_HOME="$T/data"

D="$T/Termine.ztd"
check "new" 0 "$(run new "$D")"
check "add page" 0 "$(run add "$D" / "Projekte")"
check "add child" 0 "$(run add "$D" /Projekte "Größe")"
check "remind page" 0 "$(run remind "$D" /Projekte/Größe "2037-01-15 09:00" "Abgabe" --repeat "jeden Tag")"
check "remind general" 0 "$(run remind "$D" - "2036-12-31 23:59" "Silvester")"
check "remind mail" 0 "$(run remind "$D" /Projekte "2037-02-01 10:00" "  " --repeat 11 --mail bob@example.org --recipient Bob --attach --subtree)"
check "approval key made" 32 "$(stat -c %s "$T/data/zettrix/reminder.key")"

run reminders "$D" --json >/dev/null
check "three reminders" 3 "$(grep -c '"time"' "$T/out")"
check "first by time" 1 "$(grep -m1 '"time"' "$T/out" | grep -c '"text":"Silvester","page":""')"
grep -q '"text":"Abgabe","page":"/Projekte/Größe","repeat":9,"repeat_text":"jeden Tag","active":true,"flags":1' "$T/out"
check "page reminder" 0 $?
grep -q '"time":2115619200,"next":2115619200' "$T/out"; check "next time of a future reminder" 0 $?
grep -q '"text":"Projekte","page":"/Projekte","repeat":11,"repeat_text":"jeden Monat","active":true,"flags":27,"address":"bob@example.org","recipient":"Bob"' "$T/out"
check "mail reminder, empty text becomes the title" 0 $?

run reminders "$D" >/dev/null
check "plain listing" "23:59 Uhr am" "$(head -n1 "$T/out" | cut -c1-12)"
check "plain listing page" 1 "$(grep -c '  Abgabe  /Projekte/Größe  jeden Tag  J$' "$T/out")"

check "past time" 2 "$(run remind "$D" /Projekte "2001-01-01 10:00" "x")"
check "past message" "Fehler: Der Termin ist schon vergangen." "$(cat "$T/err")"
check "bad time" 2 "$(run remind "$D" /Projekte "morgen" "x")"
check "bad repeat" 2 "$(run remind "$D" /Projekte "2037-01-01 10:00" "x" --repeat "ab und zu")"
check "missing page" 2 "$(run remind "$D" /Fehlt "2037-01-01 10:00" "x")"
check "missing argument" 1 "$(run remind "$D" /Projekte "2037-01-01 10:00")"
run reminders "$D" --json >/dev/null
check "failures added nothing" 3 "$(grep -c '"time"' "$T/out")"

if [ $fails -ne 0 ]; then echo "$fails checks failed"; exit 1; fi
echo "all ztd reminder checks passed"
