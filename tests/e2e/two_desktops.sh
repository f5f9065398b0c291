#!/usr/bin/env bash
# Two desktops of one office: the real program runs twice at once, each copy
# in its own X server (Xvfb) with its own HOME and a Fudousan.ini naming the
# same private PostgreSQL server. A property registered on the first desktop
# is listed and shown on the second; deleted there, the first desktop's list
# line for it is reported as already gone.
#
#   two_desktops.sh APP SCHEMA_SQL ARTIFACT_DIR
#
# The server runs in a temporary folder, as nobody when the test runs as root
# (PostgreSQL refuses root), listening only on a socket there, and is stopped
# by its pid. Exits 77 (skipped) where a tool or the server is missing.
set -euo pipefail

app=$1 schema=$2 artifacts=$3
for tool in Xvfb xdotool xclip import psql; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed"
    exit 77
  fi
done
pgbin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [[ -z "$pgbin" || ! -x "$pgbin/postgres" ]]; then
  echo "skipped: the PostgreSQL server is not installed (/usr/lib/postgresql/*/bin)"
  exit 77
fi
if [[ $(id -u) -eq 0 ]] && ! command -v setpriv >/dev/null; then
  echo "skipped: running as root without setpriv; PostgreSQL refuses root"
  exit 77
fi

export LC_ALL=C.UTF-8 # xdotool types UTF-8 only under a UTF-8 locale
work=$(mktemp -d)
pg=$(mktemp -d) # its own folder: the server's user must be able to enter it
pids=() # the programs and X servers
server_pid=""
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [[ -n "$server_pid" ]]; then
    kill -INT "$server_pid" 2>/dev/null || true # a fast shutdown
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work" "$pg"
}
trap cleanup EXIT
mkdir -p "$artifacts"
# shellcheck source=tests/e2e/xdriver.sh
source "$(dirname "$0")/xdriver.sh"

# The server.
as_server=()
if [[ $(id -u) -eq 0 ]]; then
  as_server=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  chown nobody:nogroup "$pg"
fi
"${as_server[@]}" "$pgbin/initdb" -D "$pg/data" -U owner -A trust -E UTF8 --locale=C.UTF-8 --no-sync >"$pg/initdb.log" 2>&1 ||
  fail "initdb: $(tail -n 5 "$pg/initdb.log")"
"${as_server[@]}" "$pgbin/postgres" -D "$pg/data" -k "$pg" -c listen_addresses= -c fsync=off >"$pg/server.log" 2>&1 &
server_pid=$! # setpriv becomes the server: the same pid
server=(-h "$pg" -U owner -v ON_ERROR_STOP=1 -q -X)
for _ in $(seq 300); do
  psql "${server[@]}" -d postgres -c "SELECT 1" >/dev/null 2>&1 && break
  sleep 0.1
done
psql "${server[@]}" -d postgres -c "CREATE DATABASE fudousan TEMPLATE template0 ENCODING 'UTF8'" >/dev/null ||
  fail "the server did not come up: $(tail -n 5 "$pg/server.log")"
psql "${server[@]}" -d fudousan -f "$schema" >/dev/null || fail "the schema file did not run"
rows() { psql "${server[@]}" -d fudousan -A -t -c "SELECT count(*) FROM \"Fudousan\""; }

# Two desktops: an X server, a copy of the program and a HOME each.
# Sets DISPLAY to desktop $1's X server for the commands that follow.
declare -A display
on() { export DISPLAY=":${display[$1]}"; }
start_desktop() {
  local name=$1 folder="$work/$1"
  mkdir -p "$folder/app" "$folder/home" "$folder/run"
  chmod 700 "$folder/run"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp 3>"$folder/display" 2>"$folder/xvfb.log" &
  pids+=($!)
  for _ in $(seq 100); do [[ -s "$folder/display" ]] && break; sleep 0.1; done
  [[ -s "$folder/display" ]] || fail "Xvfb did not start for desktop $name"
  display[$name]=$(head -n 1 "$folder/display")
  cp "$app" "$folder/app/fudousan"
  printf '[Database]\nServer="host=%s dbname=fudousan user=fudousan_desktop"\n' "$pg" >"$folder/app/Fudousan.ini"
  (
    cd "$work"
    DISPLAY=":${display[$name]}" HOME="$folder/home" XDG_RUNTIME_DIR="$folder/run" QT_QPA_PLATFORM=xcb \
      QT_LOGGING_RULES="fudousan.messages.info=true" exec "$folder/app/fudousan"
  ) 2>"$folder/app.log" &
  pids+=($!)
}
start_desktop first
start_desktop second

# Desktop $1's messages so far (each program logs the messages it shows).
said() { cat "$work/$1/app.log"; }

# Pixel positions are the layouts' twips / 15 (96 DPI), at a control's centre.
on first
menu_first=$(window '^Quintaveli$')
on second
menu_second=$(window '^Quintaveli$')
[[ $(rows) == 0 ]] || fail "the server's table is not empty"

# The first desktop registers a property.
on first
entry=$(open_screen "$menu_first" 508 507) || fail "the entry screen did not open on the first desktop" # 物件登録
location="大阪府大阪市北区梅田3丁目 'B'区画"
type_into "$entry" 177 86 "4200万"
type_into "$entry" 276 118 "$location"
click "$entry" 755 51 # 登録
answer_message Mirandel 01-first-registered
[[ $(rows) == 1 ]] || fail "registering on the first desktop left $(rows) rows on the server"
click "$entry" 924 51 # 戻る

# The second desktop lists it and shows it.
on second
list_second=$(open_screen "$menu_second" 508 387) || fail "the list did not open on the second desktop" # 物件登録一覧
shot 02-second-list
click "$list_second" 300 160 # first line
shown=$(open_screen "$list_second" 385 637) || fail "表示 opened no entry screen on the second desktop" # 表示
shot 03-second-shown
click "$shown" 276 118
xdotool key ctrl+a ctrl+c
sleep 0.2
[[ "$(xclip -o -selection clipboard 2>/dev/null)" == "$location" ]] ||
  fail "the second desktop shows '$(xclip -o -selection clipboard 2>/dev/null)' as the location"
click "$shown" 924 51 # 戻る

# The first desktop opens its list; the second deletes the property.
on first
list_first=$(open_screen "$menu_first" 508 387) || fail "the list did not open on the first desktop"
on second
list_second=$(open_screen "$menu_second" 508 387) || fail "the list did not open again on the second desktop"
click "$list_second" 300 160
click "$list_second" 633 637 # 削除
answer_message Zabrelo 04-second-deleted
said second | grep -q "データの削除が出来ました。" || fail "the second desktop's delete said: $(said second)"
[[ $(rows) == 0 ]] || fail "the delete left $(rows) rows on the server"

# The first desktop's line for it is reported as already gone.
on first
click "$list_first" 300 160
click "$list_first" 633 637 # 削除
answer_message Zabrelo 05-first-already-gone
said first | grep -q "選択された 1 件のデータは、すでに削除されていました。" ||
  fail "the first desktop's delete said: $(said first)"
echo "1 passed, 0 failed"
