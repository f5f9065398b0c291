#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, and nothing when they are
# all there already. `--package` adds what making the Debian package uses,
# `--test` that and what the test suite uses besides.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6printsupport6 qt6-qpa-plugins
  libsqlite3-dev sqlite3
  # The office server's client library (platform/PostgresDatabaseEngine).
  libpq-dev
  # Print jobs are handed to CUPS with libcups.
  libcups2-dev
  # Reading the Windows program's Access (Jet) file: libmdb and its glib.
  mdbtools-dev libmdb3 libglib2.0-dev
  # Faces that stand in for the layouts' Windows fonts (platform/Fonts.cpp).
  fonts-ipafont-mincho fonts-ipafont-gothic fonts-motoya-l-maruberi fonts-mplus fontconfig
  # The package's 256 px icon is drawn from its SVG at build time.
  librsvg2-bin
  # The agents' guide (docs/ja/guide.md) is turned into HTML at build time.
  cmark-gfm
  # Qt's own texts (dialog buttons, the replace question) in Japanese.
  qt6-translations-l10n
  # Map pictures: WebP and TIFF through Qt's image plugins, HEIC/HEIF with
  # libheif (platform/heif), PDF maps with Poppler's Qt 6 binding (platform/pdf).
  qt6-image-formats-plugins libheif-dev libpoppler-qt6-dev
)
if [[ "${1:-}" == "--package" || "${1:-}" == "--test" ]]; then
  # CPack's shared-library dependencies (dpkg-shlibdeps, file).
  packages+=(dpkg-dev file)
fi
if [[ "${1:-}" == "--test" ]]; then
  # The package's checks (man finds its Japanese pages with -L ja).
  packages+=(lintian appstream desktop-file-utils man-db)
  # The committed style's check (TestFormat).
  packages+=(clang-format)
  packages+=(poppler-utils xvfb xauth xdotool xclip imagemagick)
  # The flyer's end-to-end print test: a private cupsd with a cups-pdf queue.
  packages+=(cups printer-driver-cups-pdf)
  # The private PostgreSQL server of the server tests, and its test CA.
  packages+=(postgresql openssl)
  # Japanese input through fcitx5 + Mozc and IBus + Mozc, in a private D-Bus session.
  packages+=(dbus-x11 ibus ibus-mozc fcitx5 fcitx5-mozc fcitx5-frontend-qt6)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=""
if [[ $(id -u) -ne 0 ]]; then
  if ! command -v sudo >/dev/null; then
    echo "missing packages: ${missing[*]}" >&2
    echo "run this script as root, or install sudo, to install them" >&2
    exit 1
  fi
  sudo="sudo"
fi
echo "installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
