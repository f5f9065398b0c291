#!/usr/bin/env bash
# The Debian package, made by scripts/package.sh from a fresh configure of
# SOURCE_DIR in a temporary build folder, as on a fresh clone (so that the
# package never again needs something only a full build tree holds):
#
#   package_test.sh SOURCE_DIR unpacked  its files, validators, lintian, and the
#                                        unpacked program started offscreen with a
#                                        fresh HOME (first start, next start, a
#                                        lost database, a portable copy), its tools
#   package_test.sh SOURCE_DIR apt       installed with apt-get and removed again;
#                                        only as root on a throwaway machine (CI),
#                                        otherwise skipped (77)
set -euo pipefail

source_dir=$1 mode=$2
app_id=jp.quintaveli.Fudousan
work=$(mktemp -d)
app_pid=""
cleanup() {
  [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

if [[ "$mode" == apt ]]; then
  if [[ $(id -u) -ne 0 || "${CI:-}" != true ]]; then
    echo "skipped: installing the package for real runs only as root on a throwaway CI machine (CI=true)"
    exit 77
  fi
  if dpkg-query -W -f='${Status}' fudousan 2>/dev/null | grep -q "install ok installed"; then
    echo "skipped: fudousan is installed already; it is left as it is"
    exit 77
  fi
fi

for tool in cmake cpack dpkg-deb sqlite3; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done
FUDOUSAN_NO_DEPS=1 bash "$source_dir/scripts/package.sh" "$work/build" >"$work/package.log" 2>&1 || {
  tail -40 "$work/package.log"
  fail "scripts/package.sh failed on a fresh configure"
}
deb=$(ls "$work"/build/fudousan_*_amd64.deb)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
dpkg-deb -f "$deb" Depends Recommends

# Starts PROGRAM offscreen with HOME=$2 and waits until it has shown the main
# menu or a message; the log of what it said is left in $work/log. The program
# is then ended by its pid.
start() {
  local program=$1 home=$2
  : >"$work/log"
  env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$home" QT_QPA_PLATFORM=offscreen \
    QT_LOGGING_RULES="fudousan.*.info=true" LC_ALL=C.UTF-8 "$program" 2>"$work/log" &
  app_pid=$!
  for _ in $(seq 200); do
    grep -q "main menu shown\|fudousan.messages" "$work/log" && break
    sleep 0.1
  done
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
  grep -q "main menu shown\|fudousan.messages" "$work/log" || {
    cat "$work/log"
    fail "$program showed neither its menu nor a message"
  }
}
no_message() { ! grep -q "fudousan.messages" "$work/log" || fail "unexpected message: $(cat "$work/log")"; }
rows() { sqlite3 "$1" "SELECT count(*) FROM Fudousan"; }
register() {
  sqlite3 "$1" "INSERT INTO Fudousan (Syozai, Kakaku) VALUES ('東京都千代田区1-1', '1000万')"
}

if [[ "$mode" == unpacked ]]; then
  for tool in desktop-file-validate appstreamcli lintian man; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
  done
  root="$work/root"
  dpkg-deb -x "$deb" "$root"
  # The guide's pages are checked on their own below: one per section.
  (cd "$root" && find . -type f | grep -v '^./usr/share/doc/fudousan/guide/' | sort) >"$work/files"
  diff -u - "$work/files" <<EOF || fail "the package's file list differs"
./usr/bin/fudousan
./usr/bin/fudousan_convert_jet
./usr/bin/fudousan_copy_database
./usr/share/applications/$app_id.desktop
./usr/share/doc-base/fudousan-guide
./usr/share/doc/fudousan/changelog.gz
./usr/share/doc/fudousan/copyright
./usr/share/fudousan/Fudousan.mdb
./usr/share/fudousan/fudousan_postgresql.sql
./usr/share/icons/hicolor/256x256/apps/$app_id.png
./usr/share/icons/hicolor/scalable/apps/$app_id.svg
./usr/share/man/ja/man1/fudousan.1.gz
./usr/share/man/ja/man1/fudousan_convert_jet.1.gz
./usr/share/man/man1/fudousan.1.gz
./usr/share/man/man1/fudousan_convert_jet.1.gz
./usr/share/man/man1/fudousan_copy_database.1.gz
./usr/share/metainfo/$app_id.metainfo.xml
EOF
  guide="$root/usr/share/doc/fudousan/guide"
  for page in index.html main-menu.html entry-screen.html list-screen.html messages.html \
    main-menu.png entry-screen.png list-screen.png; do
    [[ -s "$guide/$page" ]] || fail "the guide lacks $page"
  done
  grep -q "利用の手引き" "$guide/index.html" || fail "the guide's page is not the guide"
  # man -L ja finds the Japanese pages, man the English ones.
  for page in fudousan fudousan_convert_jet; do
    [[ $(MANPATH="$root/usr/share/man" man -L ja -w "$page") == "$root/usr/share/man/ja/man1/$page.1.gz" ]] ||
      fail "man -L ja -w $page: $(MANPATH="$root/usr/share/man" man -L ja -w "$page" 2>&1)"
    [[ $(MANPATH="$root/usr/share/man" LANGUAGE= LC_ALL=C man -w "$page") == "$root/usr/share/man/man1/$page.1.gz" ]] ||
      fail "man -w $page finds no English page"
  done
  zcat "$root/usr/share/man/ja/man1/fudousan.1.gz" | grep -q "backup/Fudousan" || fail "the Japanese page names no backup folder"
  cmp "$root/usr/share/fudousan/fudousan_postgresql.sql" "$source_dir/platform/postgres/fudousan_postgresql.sql" ||
    fail "the server's schema is not the source's"
  zcat "$root/usr/share/man/man1/fudousan.1.gz" | grep -q "Quintaveli/Fudousan/backup/Fudousan-YYYY-MM-DD.mdb" ||
    fail "the manual page does not name the backup folder"
  zcat "$root/usr/share/man/man1/fudousan.1.gz" | grep -q "^.SH RESTORING A BACKUP" ||
    fail "the manual page does not say how to restore a backup"
  # The tools run from the package: the copy tool's usage, and a conversion.
  copy_status=0
  "$root/usr/bin/fudousan_copy_database" >"$work/copy.log" 2>&1 || copy_status=$?
  [[ $copy_status == 2 ]] && grep -q "usage: fudousan_copy_database to-server" "$work/copy.log" ||
    fail "fudousan_copy_database: $(cat "$work/copy.log")"
  "$root/usr/bin/fudousan_convert_jet" "$source_dir/tests/data/jet/fudousan-jet4-2000.mdb" "$work/converted.mdb" \
    >"$work/convert.log" 2>&1 || fail "fudousan_convert_jet: $(cat "$work/convert.log")"
  [[ $(rows "$work/converted.mdb") == 12 ]] || fail "the packaged converter did not bring the 12 rows over"
  depends=$(dpkg-deb -f "$deb" Depends)
  for p in fonts-ipafont-mincho fonts-ipafont-gothic fonts-motoya-l-maruberi fonts-mplus qt6-translations-l10n \
    qt6-image-formats-plugins libheif1 libpoppler-qt6-3 libqt6widgets6 libsqlite3-0; do
    [[ ", $depends," == *", $p"[\ ,]* ]] || fail "Depends lacks $p"
  done
  [[ $(dpkg-deb -f "$deb" Recommends) == "cups, fcitx5-mozc | ibus-mozc, fcitx5-frontend-qt6, xdg-utils" ]] ||
    fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"
  file "$root/usr/share/icons/hicolor/256x256/apps/$app_id.png" | grep -q "PNG image data, 256 x 256" ||
    fail "the PNG icon is not 256 x 256"
  [[ $(rows "$root/usr/share/fudousan/Fudousan.mdb") == 0 ]] || fail "the prepared database is not empty"

  desktop-file-validate "$root/usr/share/applications/$app_id.desktop" || fail "desktop-file-validate"
  grep -qx "Name\[ja\]=不動産チラシ" "$root/usr/share/applications/$app_id.desktop" || fail "no Japanese name"
  appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml" || fail "appstreamcli validate"
  lintian_status=0
  lintian --allow-root --display-info "$deb" >"$work/lintian" 2>&1 || lintian_status=$?
  echo "lintian (exit $lintian_status):"
  cat "$work/lintian"
  ((lintian_status <= 1)) || fail "lintian could not check the package"
  ! grep -q "^E: " "$work/lintian" || fail "lintian reports errors"

  # First start: the per-user folder is made with the prepared database.
  home="$work/home"
  mkdir -p "$home"
  data="$home/.local/share/Quintaveli/Fudousan"
  start "$root/usr/bin/fudousan" "$home"
  no_message
  grep -q "installed, placed: $data" "$work/log" || fail "first start: $(cat "$work/log")"
  cmp "$data/Fudousan.mdb" "$root/usr/share/fudousan/Fudousan.mdb" || fail "the placed database is not the prepared one"
  register "$data/Fudousan.mdb"

  # Next start: the same file, the registered row kept.
  start "$root/usr/bin/fudousan" "$home"
  no_message
  grep -q "installed: $data" "$work/log" || fail "second start: $(cat "$work/log")"
  [[ $(rows "$data/Fudousan.mdb") == 1 ]] || fail "the registered row is gone"

  # A database lost from an existing folder is named, not replaced.
  rm "$data/Fudousan.mdb"
  start "$root/usr/bin/fudousan" "$home"
  grep -q "fudousan.messages.*$data/Fudousan.mdb" "$work/log" || fail "no start-up message naming the file: $(cat "$work/log")"
  [[ ! -e "$data/Fudousan.mdb" ]] || fail "a new database was made"

  # The user's settings file of an installed program chooses the server.
  settings="$work/home3/.config/Quintaveli/Fudousan"
  mkdir -p "$settings"
  printf '[Database]\nServer="host=%s dbname=office_list"\n' "$work/no-server" >"$settings/Fudousan.ini"
  start "$root/usr/bin/fudousan" "$work/home3"
  grep -q "fudousan.messages" "$work/log" && grep -q "のデータベース office_list に接続できません" "$work/log" || fail "the user's settings were not read: $(cat "$work/log")"
  [[ ! -e "$work/home3/.local/share/Quintaveli" ]] || fail "a program kept on a server placed a database file"

  # A copy with Fudousan.mdb beside it stays portable, even beside an
  # installation, and keeps to its own settings.
  mkdir -p "$work/home2/.config"
  cp -r "$work/home3/.config/Quintaveli" "$work/home2/.config/"
  mkdir -p "$work/portable/usr/bin"
  cp "$root/usr/bin/fudousan" "$work/portable/usr/bin/"
  cp -r "$root/usr/share" "$work/portable/usr/"
  cp "$root/usr/share/fudousan/Fudousan.mdb" "$work/portable/usr/bin/"
  register "$work/portable/usr/bin/Fudousan.mdb"
  start "$work/portable/usr/bin/fudousan" "$work/home2"
  no_message
  grep -q "portable: $work/portable/usr/bin" "$work/log" || fail "portable start: $(cat "$work/log")"
  [[ ! -e "$work/home2/.local/share/Quintaveli" ]] || fail "a portable start made a per-user folder"
  echo "PASS"
  exit 0
fi

# apt: install, start as a user with a fresh HOME, remove; the data stays.
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq --no-install-recommends "$deb" >"$work/apt.log" 2>&1 || {
  cat "$work/apt.log"
  fail "apt-get install"
}
removed=""
remove() { [[ -n "$removed" ]] || apt-get purge -y -qq fudousan >>"$work/apt.log" 2>&1; removed=1; }
trap 'remove || true; cleanup' EXIT
[[ -x /usr/bin/fudousan && -f /usr/share/fudousan/Fudousan.mdb ]] || fail "not installed"
home="$work/home"
mkdir -p "$home"
data="$home/.local/share/Quintaveli/Fudousan"
start /usr/bin/fudousan "$home"
no_message
[[ -f "$data/Fudousan.mdb" ]] || fail "the installed program placed no database"
register "$data/Fudousan.mdb"
remove || fail "apt-get purge: $(cat "$work/apt.log")"
[[ ! -e /usr/bin/fudousan ]] || fail "/usr/bin/fudousan is still there"
[[ $(rows "$data/Fudousan.mdb") == 1 ]] || fail "removing the package touched the user's database"
echo "PASS"
