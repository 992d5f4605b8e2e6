#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Idempotent: packages already present are left alone.
set -euo pipefail

PACKAGES=(
  # build
  cmake g++ ninja-build ccache pkg-config clang
  # libraries
  zlib1g-dev libcrypto++-dev libjpeg62-turbo-dev libcurl4-openssl-dev
  qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-translations-l10n fonts-dejavu-core
  libsqlite3-dev libcpp-httplib-dev libssl-dev libpq-dev
  # reminders: sound, the mail password keyring
  qt6-multimedia-dev libsecret-1-dev
  # scripts: the JavaScript engine
  libmozjs-102-dev
  # reminder tests: a Secret Service on a private session bus
  gnome-keyring
  # tests
  libgtest-dev libgmock-dev openssl xvfb dbus libglib2.0-bin xauth postgresql util-linux python3-aiosmtpd
  # key sources: the PKCS#11 header, a software token and its import tool
  libp11-kit-dev softhsm2 opensc p11-kit gnutls-bin
  # exchange tests: archives of other programs
  zip unzip python3
  # text files: LibreOffice headless as the Word and Write converter; the HTML check
  libreoffice-writer-nogui tidy
  # the HTML site opened in a real browser (headless screenshots and page loads)
  chromium
  # printing tests: the text and the pictures of the PDF sheets
  poppler-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
