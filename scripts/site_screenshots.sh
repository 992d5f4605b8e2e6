#!/usr/bin/env bash
# Writes a small document with a picture, a table, links between pages and an
# attached file, exports its HTML site and takes pictures of the contents and
# of one page in headless Chromium: site_screenshots.sh [OUTDIR] (default
# build/site-screenshots). The two pictures are copied to docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD"
OUT="${1:-build/site-screenshots}"
ZTD=build/tools/ztd/ztd
command -v chromium >/dev/null || { echo "chromium is missing (scripts/setup.sh installs it)" >&2; exit 1; }
cmake --preset default >/dev/null
cmake --build --preset default --target ztd
rm -rf "$OUT"
mkdir -p "$OUT"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# The page texts: RTF with a PNG bar chart drawn here, a table, page links.
python3 - "$tmp" <<'EOF'
import struct, sys, zlib
out = sys.argv[1]

def png(w, h, pixel):
    raw = b"".join(b"\0" + b"".join(bytes(pixel(x, y)) for x in range(w)) for y in range(h))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))

bars = [(40, (52, 101, 164)), (75, (78, 154, 6)), (55, (196, 160, 0)), (95, (204, 0, 0)), (65, (117, 80, 123))]
def chart(x, y):
    w, h = 320, 160
    if y >= h - 12: return (60, 60, 60) if y == h - 12 else (250, 250, 250)
    i = (x - 20) // 60
    if 0 <= i < len(bars) and (x - 20) % 60 < 40 and h - 12 - y <= bars[i][0] * 1.4: return bars[i][1]
    return (235, 240, 248) if y % 28 == 0 else (250, 250, 250)
pic = png(320, 160, chart).hex()

head = r"{\rtf1\ansi\ansicpg1252\deff0\deflang1031{\fonttbl{\f0\fswiss\fcharset0 Arial;}{\f1\fmodern\fcharset0 Courier New;}}" \
       r"{\colortbl ;\red0\green0\blue128;\red204\green0\blue0;}\viewkind4\uc1\pard\f0\fs20 "
def rtf(body): return head + body + r"\par}"

overview = rtf(
    r"{\fs32\b\cf1 Projekt\'fcbersicht 2027\par}\par "
    r"Die Zahlen des Jahres auf einen Blick; die Einzelheiten stehen auf den Seiten "
    r"zt:Zeitplan und zt:/Besprechungen/Kickoff (Protokoll). Der Entwurf des Berichts liegt als Datei bei: ztf:bericht.txt\par\par "
    r"{\pict\pngblip\picw320\pich160\picwgoal4800\pichgoal2400 " + pic + r"}\par "
    r"{\i Abbildung 1: Stunden je Arbeitspaket}\par\par "
    r"\trowd\trgaph70\cellx2400\cellx4800\cellx7200 \intbl{\b Arbeitspaket}\cell\intbl{\b Verantwortlich}\cell\intbl{\b Stand}\cell\row "
    r"\trowd\trgaph70\cellx2400\cellx4800\cellx7200 \intbl Entwurf\cell\intbl Anna\cell\intbl fertig\cell\row "
    r"\trowd\trgaph70\cellx2400\cellx4800\cellx7200 \intbl Pr\'fcfung\cell\intbl Jonas\cell\intbl {\cf2 offen}\cell\row "
    r"\trowd\trgaph70\cellx2400\cellx4800\cellx7200 \intbl Ver\'f6ffentlichung\cell\intbl Mira\cell\intbl M\'e4rz\cell\row "
    r"\pard\par Weitere Informationen: http://www.example.org/projekt\par ")
plan = rtf(r"{\b Zeitplan}\par Januar: Entwurf\par Februar: Pr\'fcfung\par M\'e4rz: Ver\'f6ffentlichung\par\par "
           r"Zur\'fcck zur zt:/Projekte")
kickoff = rtf(r"{\b Kickoff am 12. Januar}\par Teilnehmer: Anna, Jonas, Mira\par "
              r"Beschl\'fcsse: zt:/Projekte/Zeitplan\par {\f1 Raum 4.12, 10:00 Uhr}")
for name, text in (("overview.rtf", overview), ("plan.rtf", plan), ("kickoff.rtf", kickoff)):
    open(f"{out}/{name}", "w", encoding="cp1252").write(text)
open(f"{out}/bericht.txt", "w").write("Bericht (Entwurf)\n")
EOF

D="$tmp/Notizen.ztd"
"$ZTD" new "$D" >/dev/null
"$ZTD" add "$D" / "Projekte" --text-file "$tmp/overview.rtf" >/dev/null
"$ZTD" add "$D" /Projekte "Zeitplan" --text-file "$tmp/plan.rtf" >/dev/null
"$ZTD" add "$D" /Projekte "Budget" >/dev/null
"$ZTD" attach "$D" /Projekte "$tmp/bericht.txt" >/dev/null
"$ZTD" add "$D" / "Besprechungen" >/dev/null
"$ZTD" add "$D" /Besprechungen "Kickoff" --text-file "$tmp/kickoff.rtf" >/dev/null
"$ZTD" add "$D" /Besprechungen "Review" >/dev/null
"$ZTD" add "$D" / "Ideen" >/dev/null
"$ZTD" export "$D" --html "$OUT" --flat >/dev/null
S="$OUT/HTML-Notizen"
shot() {
  chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir="$tmp/chromium" \
    --screenshot="$2" --window-size=1100,800 "file://$PWD/$1" >/dev/null 2>&1
}
shot "$S/ztContent.htm" "$OUT/site-contents.png"
shot "$S/Projekte-zt-Projekte.htm" "$OUT/site-page.png"
cp "$OUT/site-contents.png" "$OUT/site-page.png" docs/
echo "site and pictures in $OUT"
