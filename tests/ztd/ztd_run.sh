#!/usr/bin/env bash
# End-to-end test of "ztd run": a script over a document prints, changes and
# saves it; errors name file, line and message and end with status 2; an
# endless loop ends at --timeout.
set -u
ZTD="$1"
. "$(dirname "$0")/lib.sh"
export QT_QPA_PLATFORM=offscreen

D="$T/Skript.ztd"
check "new" 0 "$(run new "$D")"
check "add" 0 "$(run add "$D" / "Erste")"
check "add child" 0 "$(run add "$D" /Erste "Kind")"

cat >"$T/walk.js" <<'JS'
var p = ztDocument.GetPage(), t = [];
while (p) { t.push(p.fullName); p = p.GetNext(); }
print(t.join(' ') + '\n');
print('args: ' + scriptArgs.join(',') + '\n');
'fertig'
JS
check "run walk" 0 "$(run run "$D" "$T/walk.js" eins zwei)"
check "printed and completion value" "$(printf '/Erste /Erste/Kind\nargs: eins,zwei\nfertig')" "$(cat "$T/out")"

cat >"$T/change.js" <<'JS'
ztDocument.GetPage('/Erste').NewPage(false, 'Gr\u00f6\u00dfe');
ztActivePage.SetText('Neuer Text');
JS
check "run without --save" 0 "$(run run "$D" "$T/change.js")"
check "document unchanged" 0 "$(run ls "$D")"
grep -q 'Größe' "$T/out"; check "no new page without --save" 1 $?
check "run --save" 0 "$(run run "$D" "$T/change.js" --save)"
check "ls after save" 0 "$(run ls "$D")"
grep -q 'Größe' "$T/out"; check "new page saved" 0 $?
check "cat text" 0 "$(run cat "$D" /Erste --text)"
check "page text saved" "Neuer Text" "$(cat "$T/out")"

printf 'var a = 1;\nundefinedFunction();\n' >"$T/error.js"
check "uncaught error" 2 "$(run run "$D" "$T/error.js" --save)"
check "error report" "$(printf 'JavaScript Error: Uncaught exception.\n%s:2: ReferenceError: undefinedFunction is not defined\nJavaScript Error: Execution failed.' "$T/error.js")" "$(cat "$T/out")"

printf 'var a = ;\n' >"$T/syntax.js"
check "syntax error" 2 "$(run run "$D" "$T/syntax.js")"
grep -q "^$T/syntax.js:1: SyntaxError" "$T/out"; check "syntax error names file and line" 0 $?
grep -q "Compilation failed" "$T/out"; check "compilation failed" 0 $?

printf 'print("vorher\\n"); while (true) {}\n' >"$T/loop.js"
start=$(date +%s)
check "endless loop ends at the time limit" 2 "$(run run "$D" "$T/loop.js" --timeout 0.5)"
check "loop quick" 1 $(( $(date +%s) - start < 20 ))
check "output before the stop" "$(printf 'vorher\nJavaScript Error: Execution failed.')" "$(cat "$T/out")"
check "timeout message" "Fehler: Das Script wurde nach 0.5 Sekunden angehalten." "$(cat "$T/err")"

check "bad timeout" 2 "$(run run "$D" "$T/walk.js" --timeout x)"
check "bad timeout message" "Fehler: Ungültige Zeitgrenze 'x' (erwartet: Sekunden größer als 0)." "$(cat "$T/err")"
check "missing script" 2 "$(run run "$D" "$T/none.js")"
check "missing script message" "Fehler: Das Script '$T/none.js' kann nicht gelesen werden." "$(cat "$T/err")"
check "missing document" 2 "$(run run "$T/none.ztd" "$T/walk.js")"
check "usage" 1 "$(run run "$D")"

if [ $fails -ne 0 ]; then echo "$fails checks failed"; exit 1; fi
echo "all ztd run checks passed"
