#!/usr/bin/env bash
# End-to-end test of ztd export and import: directory trees, zip archives,
# the special directory and other documents, with their exit codes.
set -u
ZTD="$1"
. "$(dirname "$0")/lib.sh"

D="$T/Quelle.ztd"
run new "$D" >/dev/null
run add "$D" / "Projekte" >/dev/null
printf 'Hallo Welt\n' >"$T/t.txt"
run add "$D" /Projekte "Memo" --text-file "$T/t.txt" >/dev/null
run add "$D" / "a/b:c" >/dev/null
head -c 20000 /dev/urandom >"$T/blob.bin"
run attach "$D" /Projekte "$T/blob.bin" >/dev/null

check "export dir" 0 "$(run export "$D" --dir "$T/exp")"
check "export dir prints the main directory" "$T/exp/Quelle" "$(cat "$T/out")"
check "memo text file" "Hallo Welt" "$(cat "$T/exp/Quelle/Projekte/Memo.txt")"
cmp -s "$T/blob.bin" "$T/exp/Quelle/Projekte/blob.bin"; check "attached file bytes" 0 $?
check "sanitised title" 0 "$([ -f "$T/exp/Quelle/a-b-c.txt" ]; echo $?)"
check "export subtree rtf" 0 "$(run export "$D" /Projekte --dir "$T/exp" --format rtf)"
check "subtree directory" 0 "$([ -f "$T/exp/Projekte/Memo.rtf" ]; echo $?)"
check "export zip" 0 "$(run export "$D" --zip "$T/a.zip" --content 2)"
if command -v unzip >/dev/null; then
  unzip -tq "$T/a.zip" >/dev/null; check "unzip -t accepts the archive" 0 $?
fi
check "export page zip" 0 "$(run export "$D" /Projekte/Memo --page --zip "$T/m.zip")"
check "content 2 only for zip" 1 "$(run export "$D" --dir "$T/x" --content 2)"
check "unknown format" 1 "$(run export "$D" --zip "$T/x.zip" --format doc)"
check "two targets" 1 "$(run export "$D" --zip "$T/x.zip" --dir "$T/x")"
check "missing page" 2 "$(run export "$D" /Fehlt --zip "$T/x.zip")"

N="$T/Neu.ztd"
check "import zip as new document" 0 "$(run import "$N" --new --zip "$T/a.zip")"
run ls "$N" >/dev/null
check "tree of the imported zip" "$(printf 'a.zip\n  Projekte\n    Memo\n  a-b-c')" "$(cat "$T/out")"
check "import zip into a page" 0 "$(run import "$N" /a%2Ezip/Projekte --zip "$T/m.zip")"
check "zip file into the page" 0 "$(run get "$N" /a%2Ezip/Projekte Memo.txt -o "$T/back.txt")"
check "import directory" 0 "$(run import "$N" --dir "$T/exp/Projekte" --binary 3)"
check "import document" 0 "$(run import "$N" --ztd "$D")"
run ls "$N" >/dev/null
check "pages after the imports" "$(printf 'a.zip\n  Projekte\n    Memo\n  a-b-c\nProjekte\n  Projekte.rtf\n  Memo.rtf\nQuelle.ztd\n  Projekte\n    Memo\n  a/b:c')" "$(cat "$T/out")"

printf 'PK\003\004 damaged' >"$T/bad.zip"
cp "$N" "$T/before.ztd"
check "damaged zip" 2 "$(run import "$N" --zip "$T/bad.zip")"
cmp -s "$N" "$T/before.ztd"; check "document unchanged after a failed import" 0 $?
check "zt-dir" 0 "$(run export "$D" --zt-dir "$T/special")"
check "special directory document" 0 "$([ -f "$T/special/Quelle/Quelle.ztd" ]; echo $?)"
check "special directory opens" 0 "$(run ls "$T/special/Quelle/Quelle.ztd")"
exit $((fails > 0))
