#!/usr/bin/env bash
# Builds the program, writes the demo document and takes pictures of the main
# window and the dialogs under Xvfb: screenshots.sh [OUTDIR] (default
# build/screenshots). The pictures of the main window and of a formatted page
# are copied to docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD"
OUT="${1:-build/screenshots}"
cmake --preset default >/dev/null
cmake --build --preset default --target ztd ui_screenshots ui_reminder_screenshots ui_key_screenshots \
  ui_server_screenshots
bash scripts/make-demo.sh build/tools/ztd/ztd build/demo/Demo.ztd
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
mkdir -m 700 "$tmp/run"
# Fresh settings, so that the pictures show the program as it first starts.
# A window manager gives the windows their frames and titles when there is one
# (openbox, not needed for the tests).
XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x900x24" bash -c '
    if command -v openbox >/dev/null; then openbox >/dev/null 2>&1 & sleep 1; fi
    exec "$@"' screenshots build/tests/ui/ui_screenshots "$OUT" build/demo/Demo.ztd
# The reminder dialog and a notification window.
XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run" XDG_DATA_HOME="$tmp/data" QT_QPA_PLATFORM=xcb \
  timeout 60 xvfb-run -a -s "-screen 0 1280x900x24" build/tests/ui/ui_reminder_screenshots "$OUT" || true
cp "$OUT/reminder-dialog.png" "$OUT/reminder-notification.png" docs/
# The key file dialog, the certificate choice and the certificate viewer.
XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run" QT_QPA_PLATFORM=xcb \
  timeout 60 xvfb-run -a -s "-screen 0 1280x900x24" build/tests/ui/ui_key_screenshots "$OUT"
cp "$OUT/key-file-dialog.png" "$OUT/certificate-choice.png" "$OUT/certificate-viewer.png" docs/
# The connect dialog and the document choice of the server session.
XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run" QT_QPA_PLATFORM=xcb \
  timeout 60 xvfb-run -a -s "-screen 0 1280x900x24" build/tests/ui/ui_server_screenshots "$OUT"
cp "$OUT/server-connect.png" "$OUT/server-documents.png" docs/
# The README shows the window with all three panes filled.
cp "$OUT/main-files.png" docs/screenshot-main.png
cp "$OUT/main-first-start.png" docs/screenshot-first-start.png
cp "$OUT/credentials.png" docs/screenshot-credentials.png
echo "screenshots in $OUT"
