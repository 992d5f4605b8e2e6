#!/usr/bin/env bash
# The HTML site in a real browser: headless Chromium loads a page and the
# search page (which searches the index in the browser, here given the words
# in its address), and the rendered documents hold what they should.
# Skipped (exit 77) when chromium is not installed.
set -u
ZTD="$1"
. "$(dirname "$0")/lib.sh"
command -v chromium >/dev/null || { echo "SKIP: chromium is not installed (scripts/setup.sh installs it)"; exit 77; }
dom() {
  timeout 90 chromium --headless --no-sandbox --disable-gpu --user-data-dir="$T/profile" --dump-dom "$1" 2>/dev/null
}

D="$T/Reise.ztd"
run new "$D" >/dev/null
printf 'Gr\xfc\xdfe aus K\xf6ln, siehe zt:Unter\n' >"$T/a.txt"
printf 'Dom und Rhein\n' >"$T/b.txt"
run add "$D" / "Köln" --text-file "$T/a.txt" >/dev/null
run add "$D" /K%C3%B6ln "Unter" --text-file "$T/b.txt" >/dev/null
run add "$D" / "Bonn" >/dev/null
check "site" 0 "$(run export "$D" --html "$T/web" --flat)"
S="$T/web/HTML-Reise"

page="$(dom "file://$S/K-F6ln-zt-K-F6ln.htm")"
check "the page renders its text" 1 "$(grep -c 'Grüße aus Köln' <<<"$page")"
check "the page link is a link" 1 "$(grep -c 'href="K-F6ln-Unter-zt-Unter.htm">zt:Unter</a>' <<<"$page")"
check "the navigation bars at the top and the bottom" 2 "$(grep -o 'Nächste Seite' <<<"$page" | wc -l)"

found="$(dom "file://$S/ztSearch.htm?q=rhein")"
check "the search finds the one page" 1 "$(grep -c '<p id="n">1 Seite gefunden</p>' <<<"$found")"
check "and links to it" 1 "$(grep -c '<li><a href="K-F6ln-Unter-zt-Unter.htm">' <<<"$found")"
none="$(dom "file://$S/ztSearch.htm?q=Paris")"
check "no page for a word that is nowhere" 1 "$(grep -c '<p id="n">0 Seiten gefunden</p>' <<<"$none")"
both="$(dom "file://$S/ztSearch.htm?q=k%C3%B6ln+dom")"
check "every word must occur" 1 "$(grep -c '<p id="n">1 Seite gefunden</p>' <<<"$both")"
exit $((fails > 0))
