#!/usr/bin/env bash
# Writes a small demo document with ztd: make-demo.sh ZTD OUT.ztd
set -euo pipefail
ZTD="$1"
OUT="$2"
mkdir -p "$(dirname "$OUT")"
rm -f "$OUT"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
"$ZTD" new "$OUT"
printf 'Willkommen bei Zettrix.\nJede Seite hat einen Titel, einen Text und angehängte Dateien.\n' >"$tmp/welcome.txt"
"$ZTD" add "$OUT" / "Willkommen" --text-file "$tmp/welcome.txt"
"$ZTD" add "$OUT" / "Projekte"
printf 'Kapitel 2: Über Größen und Maße.\n\tEingerückt.\n' >"$tmp/kap2.txt"
"$ZTD" add "$OUT" /Projekte "Kap.2" --text-file "$tmp/kap2.txt"
"$ZTD" add "$OUT" /Projekte "Notizen"
printf 'a;b;c\n1;2;3\n' >"$tmp/tabelle.csv"
"$ZTD" attach "$OUT" /Projekte/Kap%2E2 "$tmp/tabelle.csv"
"$ZTD" add "$OUT" / "Memo"
