#!/usr/bin/env bash
# End-to-end test of the version history commands: three saves give three
# revisions, each can be written out as a document of its own, revisions are
# hidden, shown again and forgotten, the history is removed, and a document
# whose newest revision is damaged still gives up its older ones.
set -u
ZTD="$1"
. "$(dirname "$0")/lib.sh"
times() { "$ZTD" history "$@" | awk '{print $3}'; } # revision times, oldest first

D="$T/Notizen.ztd"
check "new" 0 "$(run new "$D")"
sleep 1.1
check "add" 0 "$(run add "$D" / "Erste")"
sleep 1.1
check "add second" 0 "$(run add "$D" / "Zweite")"

check "history" 0 "$(run history "$D")"
check "three revisions" 3 "$(wc -l <"$T/out")"
mapfile -t TS < <(times "$D")
label1="$(sed -n 2p "$T/out" | cut -c1-19)"
check "label form" yes "$([[ "$label1" =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}\ [0-9]{2}:[0-9]{2}:[0-9]{2}$ ]] && echo yes || echo no)"
run history "$D" --json >/dev/null
check "json" " {\"label\":\"$label1\",\"time\":${TS[1]},\"visible\":true}," "$(sed -n 3p "$T/out")"

# Each revision written out is the document as it was saved then.
check "show by time" 0 "$(run history "$D" show "${TS[0]}" -o "$T/r0.ztd")"
check "first state" "" "$("$ZTD" ls "$T/r0.ztd")"
check "show by label" 0 "$(run history "$D" show "$label1" -o "$T/r1.ztd")"
check "second state" "Erste" "$("$ZTD" ls "$T/r1.ztd")"
run info "$T/r1.ztd" --json >/dev/null
grep -q '"title":"Notizen: '"$label1"'".*"form":"plain"' "$T/out"; check "shown as a plain document" 0 $?
check "show unknown" 2 "$(run history "$D" show 12345 -o "$T/x.ztd")"
grep -q 'Die Version 12345 gibt es in diesem Dokument nicht.' "$T/err"; check "unknown message" 0 $?
check "show without -o" 1 "$(run history "$D" show "${TS[0]}")"

# A newest revision that fails its checksum: the document does not open, but
# its older revisions are still there.
python3 - "$D" "$T/bad.ztd" <<'PY'
import sys, zlib
b = bytearray(open(sys.argv[1], 'rb').read())
c = b.find(b'ZT09') + 4
# The body SHA-1 of the newest entry is the last hash followed by a chunk list.
at = -1
i = b.find(b'\x30\x80\x04\x14', c)
while i >= 0:
    if b[i + 24:i + 26] == b'\x30\x80': at = i + 4
    i = b.find(b'\x30\x80\x04\x14', i + 1)
b[at] ^= 1
b[-6:-2] = zlib.adler32(bytes(b[c:-6])).to_bytes(4, 'big')
open(sys.argv[2], 'wb').write(b)
PY
check "damaged newest refused" 2 "$(run ls "$T/bad.ztd")"
grep -q "Die Version $(date -d "@${TS[2]}" '+%Y-%m-%d %H:%M:%S') ist beschädigt" "$T/err"; check "message names the revision" 0 $?
check "history of a damaged document" 0 "$(run history "$T/bad.ztd")"
check "older revision rescued" 0 "$(run history "$T/bad.ztd" show "${TS[1]}" -o "$T/rescued.ztd")"
check "rescued state" "Erste" "$("$ZTD" ls "$T/rescued.ztd")"
check "damaged revision not written" 2 "$(run history "$T/bad.ztd" show "${TS[2]}" -o "$T/no.ztd")"

# Hide, show again, forget.
check "hide" 0 "$(run history "$D" hide "${TS[1]}")"
check "hidden left out" "" "$(times "$D" | grep -x "${TS[1]}")"
check "hidden listed with --all" "$label1  ${TS[1]}  verdeckt" "$("$ZTD" history "$D" --all | grep "${TS[1]}")"
check "hidden still shown" 0 "$(run history "$D" show "${TS[1]}" -o "$T/h.ztd")"
check "unhide" 0 "$(run history "$D" unhide "${TS[1]}")"
check "visible again" "${TS[1]}" "$(times "$D" | grep -x "${TS[1]}")"
size_before=$(stat -c %s "$D")
check "forget" 0 "$(run history "$D" forget "${TS[0]}")"
check "forgotten" "" "$(times "$D" | grep -x "${TS[0]}")"
check "forgetting keeps the chunks" yes "$([ "$(stat -c %s "$D")" -ge $((size_before - 100)) ] && echo yes || echo no)"
check "forget unknown" 2 "$(run history "$D" forget 99)"

# Removing the history leaves the revision of that save alone.
check "clear" 0 "$(run history "$D" clear)"
check "one revision left" 1 "$("$ZTD" history "$D" --all | wc -l)"
check "pages kept" "$(printf 'Erste\nZweite')" "$("$ZTD" ls "$D")"
sum_before="$(md5sum <"$T/r1.ztd")"
check "clear without history" 0 "$(run history "$T/r1.ztd" clear)"
check "nothing to clear leaves the file alone" "$sum_before" "$(md5sum <"$T/r1.ztd")"
check "usage" 1 "$(run history "$D" frobnicate)"

if [ $fails -ne 0 ]; then echo "$fails checks failed"; exit 1; fi
echo "all ztd history checks passed"
