#!/usr/bin/env bash
# ztd around the document: outputs that fail leave nothing half-written and
# exit 2, standard output is checked, special files are refused at once, and a
# document reached through a link is saved at the link's target.
set -u
ZTD="$1"
. "$(dirname "$0")/lib.sh"

D="$T/doc.ztd"
run new "$D" >/dev/null
printf '{\\rtf1 Seitentext}' >"$T/s.rtf"
run add "$D" / "Seite" --text-file "$T/s.rtf" >/dev/null
head -c 200000 /dev/urandom >"$T/blob.bin"
check "attach" 0 "$(run attach "$D" /Seite "$T/blob.bin")"
FULL="Fehler: Die Ausgabe konnte nicht geschrieben werden: Kein Speicherplatz mehr auf dem Gerät"

# Standard output into a full device: exit 2 with the reason, never 0.
for cmd in "cat $D /Seite" "ls $D" "ls $D --json" "info $D" "get $D /Seite blob.bin"; do
  # shellcheck disable=SC2086
  "$ZTD" $cmd >/dev/full 2>"$T/err"; rc=$?
  check "stdout full: $cmd" 2 "$rc"
  check "stdout full message: $cmd" "$FULL" "$(tail -n1 "$T/err")"
done

"$ZTD" --version >/dev/full 2>"$T/err"; check "--version into /dev/full" 2 $?
check "--version message" "$FULL" "$(cat "$T/err")"

# Output files: devices are written into and stay devices; directories refused.
check "resolve into /dev/full" 2 "$(run resolve "ztf:/$D?/Seite/blob.bin" -o /dev/full)"
check "resolve /dev/full reason" "Fehler: Die Datei /dev/full konnte nicht geschrieben werden: Kein Speicherplatz mehr auf dem Gerät" "$(cat "$T/err")"
[ -c /dev/full ]; check "/dev/full stays a device" 0 $?
check "get into /dev/null" 0 "$(run get "$D" /Seite blob.bin -o /dev/null)"
[ -c /dev/null ]; check "/dev/null stays a device" 0 $?
mkdir "$T/dir"
check "get into a directory" 2 "$(run get "$D" /Seite blob.bin -o "$T/dir")"
check "directory reason" "Fehler: Die Datei $T/dir konnte nicht geschrieben werden: Ist ein Verzeichnis" "$(cat "$T/err")"

# A failing file layer (a full disk after 1000 bytes): no partial file, the
# old one unchanged, exit 2.
mkdir "$T/o"
echo "old" >"$T/o/kept.bin"
for target in kept.bin new.bin; do
  ZT_TEST_WRITE_LIMIT=1000 "$ZTD" get "$D" /Seite blob.bin -o "$T/o/$target" >/dev/null 2>"$T/err"
  check "get -o on a full disk: $target" 2 $?
  ZT_TEST_WRITE_LIMIT=1000 "$ZTD" resolve "ztf:/$D?/Seite/blob.bin" -o "$T/o/$target" >/dev/null 2>"$T/err"
  check "resolve -o on a full disk: $target" 2 $?
done
check "old output kept" "old" "$(cat "$T/o/kept.bin")"
check "no partial or temporary file" "kept.bin" "$(ls -A "$T/o")"
printf '{\\rtf1 Text mit Bild}' >"$T/p.rtf"
run add "$D" / "Html" --text-file "$T/p.rtf" >/dev/null
ZT_TEST_WRITE_LIMIT=10 "$ZTD" cat "$D" /Html --html -o "$T/o/page.htm" >/dev/null 2>"$T/err"
check "cat --html -o on a full disk" 2 $?
check "no partial html" "kept.bin" "$(ls -A "$T/o")"
check "a document save on a full disk" 2 "$(ZT_TEST_WRITE_LIMIT=1000 "$ZTD" add "$D" / "Neu" >/dev/null 2>&1; echo $?)"
check "no temporary document" "" "$(ls -A "$T" | grep '^\.')"

# A small tmpfs, when this machine lets an unprivileged namespace mount one.
if unshare -rm true 2>/dev/null; then
  rc=$(unshare -rm bash -c 'mount -t tmpfs -o size=64k none "$2" && "$1" get "$3" /Seite blob.bin -o "$2/x.bin" 2>/dev/null; echo $?; ls -A "$2"' _ "$ZTD" "$T/o" "$D" | tr '\n' ' ')
  check "get -o on a 64k tmpfs: exit 2, nothing left" "2 " "$rc"
else
  echo "note: no user namespaces here, the tmpfs case is left to the failing file layer above"
fi

# Special files are refused at once, with bounded memory.
mkfifo "$T/x.ztd"
ln -s /dev/zero "$T/zero.ztd"
for f in x.ztd zero.ztd; do
  rc=$( (ulimit -v 400000; timeout 10 "$ZTD" ls "$T/$f" >/dev/null 2>"$T/err"; echo $?) )
  check "open $f" 2 "$rc"
  grep -q "Keine reguläre Datei" "$T/err"; check "open $f message" 0 $?
done

# Through a link the target changes and the link stays.
mkdir "$T/store"
mv "$D" "$T/store/real.ztd"
ln -s store/real.ztd "$D"
check "add through a link" 0 "$(run add "$D" / "Zwei")"
[ -L "$D" ]; check "link stays" 0 $?
run ls "$T/store/real.ztd" >/dev/null
check "target changed" "$(printf 'Seite\nHtml\nZwei')" "$(cat "$T/out")"

if [ $fails -ne 0 ]; then echo "$fails checks failed"; exit 1; fi
echo "all ztd hardening checks passed"
