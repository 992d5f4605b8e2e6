#!/usr/bin/env bash
# End-to-end test of ztd remote against a zettrix-server on loopback in a
# scratch directory: administration, saving a local document to the server,
# reading pages and a local copy back, rights, renaming, password changes,
# deleting, and the refusals (wrong password, unknown document, no password).
set -u
ZTD="$1"
SRV="$2"
. "$(dirname "$0")/lib.sh"
# Nothing of the user's settings is read or written.
export XDG_CONFIG_HOME="$T/config" HOME="$T"
unset ZT_PASSWORD ZT_NEW_PASSWORD

ZT_PASSWORD=alice-pw "$SRV" --db "$T/zt.db" adduser alice --level 2 >/dev/null 2>&1
ZT_PASSWORD=bob-pw "$SRV" --db "$T/zt.db" adduser bob --level 1 >/dev/null 2>&1
"$SRV" --db "$T/zt.db" --listen 127.0.0.1:0 >"$T/srv.out" 2>"$T/srv.log" &
SPID=$!
trap 'kill "$SPID" 2>/dev/null; wait "$SPID" 2>/dev/null; rm -rf "$T"' EXIT
PORT=""
for _ in $(seq 1 100); do
  PORT="$(sed -n 's/^listening .*:\([0-9]*\)$/\1/p' "$T/srv.out")"
  [ -n "$PORT" ] && break
  sleep 0.1
done
if [ -z "$PORT" ]; then echo "FAIL: zettrix-server did not start"; cat "$T/srv.log"; exit 1; fi
URL="http://127.0.0.1:$PORT/ztweb/ztDB.php"
A=(remote --url "$URL" --user alice)
B=(remote --url "$URL" --user bob)
export ZT_PASSWORD=alice-pw

check "create a document" 0 "$(run "${A[@]}" admin add Notizen)"
check "listed with all rights" 0 "$(run "${A[@]}" ls)"
check "list line" "Notizen (rwgg)" "$(cut -f1 "$T/out")"

# A local document goes to the server.
L="$T/local.ztd"
run new "$L" >/dev/null
printf 'Erster Text\n' >"$T/a.txt"
printf 'Grüße aus Köln\n' >"$T/b.txt"
run add "$L" / "Kapitel" --text-file "$T/a.txt" >/dev/null
run add "$L" /Kapitel "Köln" --text-file "$T/b.txt" >/dev/null
run cat "$L" /Kapitel/K%C3%B6ln >/dev/null
LOCAL_TEXT="$(cat "$T/out")"
check "put" 0 "$(run "${A[@]}" put "$L" Notizen)"
check "cat a page from the server" 0 "$(run "${A[@]}" cat Notizen /Kapitel/K%C3%B6ln)"
check "same text as the local page" "$LOCAL_TEXT" "$(cat "$T/out")"
check "cat --text" 0 "$(run "${A[@]}" cat Notizen /Kapitel --text)"
check "plain text" "Erster Text" "$(head -n1 "$T/out")"
check "cat of a missing page" 2 "$(run "${A[@]}" cat Notizen /Nichts)"

# A local copy of the server document.
check "get" 0 "$(run "${A[@]}" get Notizen -o "$T/copy.ztd")"
check "copy has the page" 0 "$(run cat "$T/copy.ztd" /Kapitel/K%C3%B6ln)"
check "copy's text" "$LOCAL_TEXT" "$(cat "$T/out")"
check "get needs -o" 1 "$(run "${A[@]}" get Notizen)"

# Rights and renaming.
check "bob sees nothing yet" 0 "$(ZT_PASSWORD=bob-pw run "${B[@]}" ls)"
check "bob's empty list" "" "$(cat "$T/out")"
check "give bob writing" 0 "$(run "${A[@]}" admin rights Notizen bob=rw)"
check "rights listed" 0 "$(run "${A[@]}" admin rights Notizen)"
check "bob listed" 1 "$(grep -c '^bob (rw)$' "$T/out")"
check "bob lists it" 0 "$(ZT_PASSWORD=bob-pw run "${B[@]}" ls)"
check "bob's line" "Notizen (rw)" "$(cut -f1 "$T/out")"
check "bob may not create" 2 "$(ZT_PASSWORD=bob-pw run "${B[@]}" admin add Bobs)"
check "server's reason shown" 1 "$(grep -c 'XML Data Error' "$T/err")"
check "rename" 0 "$(run "${A[@]}" admin rename Notizen Tagebuch)"
check "renamed in the list" 0 "$(run "${A[@]}" ls)"
check "new name" "Tagebuch (rwgg)" "$(cut -f1 "$T/out")"
check "old name unknown" 2 "$(run "${A[@]}" cat Notizen /Kapitel)"
check "says which" 1 "$(grep -c "Das Dokument 'Notizen' gibt es auf dem Server nicht." "$T/err")"

# Passwords.
check "wrong password" 2 "$(ZT_PASSWORD=falsch run "${A[@]}" ls)"
check "no password without a terminal" 2 "$(env -u ZT_PASSWORD "$ZTD" "${A[@]}" ls </dev/null >"$T/out" 2>"$T/err"; echo $?)"
check "says how to give one" 1 "$(grep -c 'ZT_PASSWORD' "$T/err")"
check "too short a new password" 2 "$(ZT_PASSWORD=bob-pw ZT_NEW_PASSWORD=abc run "${B[@]}" admin passwd)"
check "password change" 0 "$(ZT_PASSWORD=bob-pw ZT_NEW_PASSWORD=bob-neu run "${B[@]}" admin passwd)"
check "old password refused" 2 "$(ZT_PASSWORD=bob-pw run "${B[@]}" ls)"
check "new password works" 0 "$(ZT_PASSWORD=bob-neu run "${B[@]}" ls)"

# Saving again keeps the document one; deleting removes it.
check "put again" 0 "$(run "${A[@]}" put "$L" Tagebuch)"
check "still one page at the top" 0 "$(run "${A[@]}" get Tagebuch -o "$T/copy2.ztd")"
check "copy of the second put" 0 "$(run cat "$T/copy2.ztd" /Kapitel)"
check "delete" 0 "$(run "${A[@]}" admin del Tagebuch)"
check "gone from the list" 0 "$(run "${A[@]}" ls)"
check "empty list" "" "$(cat "$T/out")"
check "unknown sub-command" 1 "$(run "${A[@]}" frobnicate)"
check "bad address" 2 "$(run remote --url "ftp://x/y" --user alice ls)"

exit $((fails > 0))
