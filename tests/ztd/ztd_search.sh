#!/usr/bin/env bash
# End-to-end test of "ztd search" and "ztd replace": hits in titles, texts and
# file names; a replacement across format runs; the other pages' stored RTF
# stays byte for byte what it was.
set -u
ZTD="$1"
. "$(dirname "$0")/lib.sh"

D="$T/Suche.ztd"
check "new" 0 "$(run new "$D")"
printf '{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Ein Te{\\b s}t f\\'"'"'fcr \\b alle\\b0  Tests.\\par Test}' >"$T/a.rtf"
printf '{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Kein Treffer hier.}' >"$T/b.rtf"
check "add a" 0 "$(run add "$D" / "Test-Seite" --text-file "$T/a.rtf")"
check "add b" 0 "$(run add "$D" / "Andere" --text-file "$T/b.rtf")"
echo inhalt >"$T/Testplan.txt"
check "attach" 0 "$(run attach "$D" /Andere "$T/Testplan.txt")"

check "search" 0 "$(run search "$D" test)"
check "hits" "$(printf '/Test-Seite\ttitle\t0\tTest-Seite\n/Test-Seite\ttext:1:4\t4\tEin Test für alle Tests.\n/Test-Seite\ttext:1:18\t18\tEin Test für alle Tests.\n/Test-Seite\ttext:2:0\t25\tTest\n/Andere\tfile:Testplan.txt\t0\tTestplan.txt')" "$(cat "$T/out")"
check "search --word --texts" 0 "$(run search "$D" Test --word --texts)"
check "whole words" 2 "$(wc -l <"$T/out")"
check "search --case umlaut" 0 "$(run search "$D" "FÜR" --case)"
check "case matters" "" "$(cat "$T/out")"
check "search umlaut" 0 "$(run search "$D" "FÜR")"
check "umlaut found" 1 "$(wc -l <"$T/out")"
check "search --json" 0 "$(run search "$D" test --files --json)"
grep -q '"file":"Testplan.txt"' "$T/out"; check "json file hit" 0 $?
check "search below a page" 0 "$(run search "$D" test /Andere)"
check "subtree only" 1 "$(wc -l <"$T/out")"
check "unknown page" 2 "$(run search "$D" test /Nirgends)"

run cat "$D" /Andere >/dev/null; cp "$T/out" "$T/other-before"
check "dry run" 0 "$(run replace "$D" Test Probe --texts --word --dry-run)"
check "dry run lists" 2 "$(wc -l <"$T/out")"
check "dry run changes nothing" 0 "$(run cat "$D" /Test-Seite --text)"
check "text unchanged" "$(printf 'Ein Test für alle Tests.\nTest')" "$(cat "$T/out")"

check "replace" 0 "$(run replace "$D" test Probe)"
check "cat --text" 0 "$(run cat "$D" /Probe-Seite --text)"
check "new text everywhere" "$(printf 'Ein Probe für alle Probes.\nProbe')" "$(cat "$T/out")"
check "cat rtf" 0 "$(run cat "$D" /Probe-Seite)"
grep -q '\\b alle\\b0' "$T/out"; check "format of the rest kept" 0 $?
check "file renamed" 0 "$(run search "$D" Probeplan --files)"
check "file name replaced" "$(printf '/Andere\tfile:Probeplan.txt\t0\tProbeplan.txt')" "$(cat "$T/out")"
run cat "$D" /Andere >/dev/null
cmp -s "$T/out" "$T/other-before"; check "other page byte for byte" 0 $?
check "delete" 0 "$(run replace "$D" " alle" "" /Probe-Seite --page --texts)"
run cat "$D" /Probe-Seite --text >/dev/null
check "deleted" "$(printf 'Ein Probe für Probes.\nProbe')" "$(cat "$T/out")"
check "verify" 0 "$(run verify "$D")"

[ "$fails" -eq 0 ] && echo "ztd search: all passed"
exit "$fails"
