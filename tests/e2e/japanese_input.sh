#!/usr/bin/env bash
# Japanese input through a real input-method framework with Mozc, in a real X
# server (Xvfb), typed with xdotool into the real executable:
#   - the first box clicked in a freshly opened entry screen converts
#     "tibakennfunabasisi" as Mozc does in a bare line edit of the same run;
#   - Mozc turned off by its on/off key comes on again in the next box;
#   - box 26 leaves the state as it was, on and off;
#   - the registered row holds the converted texts exactly.
#
#   japanese_input.sh fcitx5|ibus APP LINE_EDIT MAKE_EMPTY_DATABASE ARTIFACT_DIR
#   (IME_TEST_TRACE=1 traces the steps inside the session)
#
# The framework runs for this test only: in a private D-Bus session with a
# fresh HOME, without its panel or other user interface, and as user nobody
# when run as root (mozc_server refuses to run as root). Every process it
# started is stopped by its pid afterwards. Exits 77 (skipped) where the
# framework or a tool is missing.
set -euo pipefail

framework=$1 app=$2 line_edit=$3 make_db=$4 artifacts=$5
skip() {
  echo "skipped: $*"
  exit 77
}

# The processes of one run carry IME_TEST_RUN=<its folder> in their
# environment; whatever is left of them at the end is stopped by pid.
# Spared: this shell, its parent and what they run themselves (the test's own
# commands, and the session's dbus-daemon, which dbus-run-session ends).
stop_leftovers() {
  local run=$1 file pid stat ppid
  for file in $(grep -lzxF "IME_TEST_RUN=$run" /proc/[0-9]*/environ 2>/dev/null); do
    pid=${file#/proc/}
    pid=${pid%/environ}
    read -r stat 2>/dev/null <"/proc/$pid/stat" || continue
    stat=${stat##*) }
    stat=${stat#* }
    ppid=${stat%% *}
    [[ $pid == "$$" || $pid == "$PPID" || $ppid == "$$" || $ppid == "$PPID" ]] && continue
    kill "$pid" 2>/dev/null || true
  done
}

if [[ -z "${IME_TEST_RUN:-}" ]]; then
  for tool in Xvfb xdotool setxkbmap import sqlite3 dbus-run-session gdbus; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
  done
  [[ -x /usr/lib/mozc/mozc_server ]] || skip "mozc_server is not installed (mozc-server)"
  qt_plugins=$(find /usr/lib -path '*qt6/plugins/platforminputcontexts' -type d 2>/dev/null | head -n 1)
  case $framework in
    fcitx5)
      command -v fcitx5 >/dev/null || skip "fcitx5 is not installed"
      [[ -f /usr/share/fcitx5/addon/mozc.conf ]] || skip "fcitx5-mozc is not installed"
      [[ -f "$qt_plugins/libfcitx5platforminputcontextplugin.so" ]] || skip "fcitx5-frontend-qt6 is not installed"
      ;;
    ibus)
      command -v ibus-daemon >/dev/null || skip "ibus is not installed"
      [[ -f /usr/share/ibus/component/mozc.xml ]] || skip "ibus-mozc is not installed"
      [[ -f "$qt_plugins/libibusplatforminputcontextplugin.so" ]] || skip "Qt's IBus input context is not installed"
      ;;
    *)
      echo "unknown framework $framework" >&2
      exit 2
      ;;
  esac
  as_user=()
  if [[ $(id -u) -eq 0 ]]; then
    command -v setpriv >/dev/null || skip "setpriv is missing, and mozc_server refuses to run as root"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  fi

  run=$(mktemp -d)
  chmod 755 "$run"
  mkdir -p "$run/app" "$run/elsewhere" "$run/home" "$run/xdg" "$run/shots" "$artifacts"
  cp "$app" "$run/app/fudousan"
  cp "$line_edit" "$run/line_edit"
  # The checkout may lie in a folder user nobody cannot enter (a private
  # temporary folder): the part that runs as nobody goes from this copy.
  cp "$0" "$(dirname "$0")/xdriver.sh" "$run/"
  "$make_db" "$run/app" >/dev/null
  chmod 700 "$run/xdg"
  [[ ${#as_user[@]} -eq 0 ]] || chown -R nobody:nogroup "$run"

  status=0
  # The X server picks a free display itself and says which (-displayfd), so
  # that no other X server starting at the same moment can take it. -ac: it
  # lets user nobody in without a cookie.
  Xvfb -displayfd 3 -ac -screen 0 1280x1024x24 -dpi 96 -nolisten tcp 3>"$run/display" 2>"$run/xvfb.log" &
  xvfb=$!
  for _ in $(seq 100); do [[ -s "$run/display" ]] && break; sleep 0.1; done
  if [[ ! -s "$run/display" ]]; then
    cat "$run/xvfb.log"
    echo "FAIL: Xvfb did not start"
    kill "$xvfb" 2>/dev/null
    exit 1
  fi
  env IME_TEST_RUN="$run" HOME="$run/home" XDG_RUNTIME_DIR="$run/xdg" XDG_CONFIG_HOME="$run/home/.config" \
    XDG_CACHE_HOME="$run/home/.cache" XDG_DATA_HOME="$run/home/.local/share" NO_AT_BRIDGE=1 GTK_A11Y=none \
    LANG=ja_JP.UTF-8 LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb DISPLAY=":$(head -n 1 "$run/display")" \
    "${as_user[@]}" dbus-run-session -- bash "$run/japanese_input.sh" "$@" || status=$?
  stop_leftovers "$run"
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  cp "$run"/shots/* "$artifacts/" 2>/dev/null || true
  rm -rf "$run"
  exit $status
fi

# ---- Inside the X server and the private D-Bus session.
run=$IME_TEST_RUN
[[ -z "${IME_TEST_TRACE:-}" ]] || set -x
cd "$run/elsewhere"
daemon="" app_pid="" edit_pid=""
cleanup() {
  for pid in $app_pid $edit_pid $daemon; do kill "$pid" 2>/dev/null || true; done
  # mozc_server and the framework's helpers, whatever started them.
  stop_leftovers "$run"
}
trap cleanup EXIT
set -E
trap 'echo "FAIL ($framework): line $LINENO: $BASH_COMMAND failed"' ERR

# shellcheck source=tests/e2e/xdriver.sh
source "$run/xdriver.sh"
# Its own failure report and screenshots, and clicks that do not wait: each
# step below waits on the input method instead.
fail() {
  echo "FAIL ($framework): $*"
  import -window root "$run/shots/$framework-failure.png" 2>/dev/null || true
  [[ -f "$run/home/daemon.log" ]] && tail -n 20 "$run/home/daemon.log"
  exit 1
}
shot() { import -window root "$run/shots/$framework-$1.png"; }
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }

name_owned() {
  gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
    -m org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null | grep -q true
}

# A Japanese keyboard, so that 半角/全角 (Zenkaku_Hankaku) is a key of the
# keymap: xdotool would otherwise remap a spare key for each press, which
# the clients may read with the old map.
setxkbmap -layout jp || fail "setxkbmap could not set the Japanese layout"

case $framework in
  fcitx5)
    module=fcitx
    mkdir -p "$HOME/.config/fcitx5"
    cat >"$HOME/.config/fcitx5/profile" <<'EOF'
[Groups/0]
Name=Default
Default Layout=us
DefaultIM=mozc

[Groups/0/Items/0]
Name=keyboard-us
Layout=

[Groups/0/Items/1]
Name=mozc
Layout=

[GroupOrder]
0=Default
EOF
    # Zenkaku_Hankaku turns the input method on and off, as on a Japanese
    # keyboard; the X server's Japanese layout stays as it is.
    mkdir -p "$HOME/.config/fcitx5/conf"
    cat >"$HOME/.config/fcitx5/config" <<'EOF'
[Hotkey/TriggerKeys]
0=Zenkaku_Hankaku
EOF
    echo 'Allow Overriding System XKB Settings=False' >"$HOME/.config/fcitx5/conf/xcb.conf"
    # No panel, tray or notification add-on: only what input needs.
    fcitx5 --disable=all --enable=dbus,dbusfrontend,xcb,keyboard,mozc >"$HOME/daemon.log" 2>&1 &
    daemon=$!
    for _ in $(seq 100); do name_owned org.fcitx.Fcitx5 && break; sleep 0.1; done
    name_owned org.fcitx.Fcitx5 || fail "fcitx5 did not start"
    state() {
      gdbus call --session -d org.fcitx.Fcitx5 -o /controller -m org.fcitx.Fcitx.Controller1.State 2>/dev/null |
        tr -dc 0-9
    }
    # Waits until fcitx5 reports the focused input context on (2) or off (1).
    wait_state() {
      for _ in $(seq 60); do [[ $(state) == "$1" ]] && return 0; sleep 0.05; done
      fail "$2 (fcitx5 state $(state), expected $1)"
    }
    wait_on() { wait_state 2 "$1"; }
    wait_off() { wait_state 1 "$1"; }
    # 半角/全角, pressed again when fcitx5 missed the press (seen now and then
    # under xdotool, in the bare line edit too).
    off_key() {
      for _ in 1 2 3; do
        xdotool key Zenkaku_Hankaku
        for _ in $(seq 20); do [[ $(state) == 1 ]] && return 0; sleep 0.05; done
      done
    }
    # The state after 0.4 s, longer than the program's switch may take.
    settled_state() {
      sleep 0.4
      state
    }
    # Until fcitx5 has seen the line edit's focus, Activate finds nothing to act on.
    mozc_on_by_hand() {
      for _ in $(seq 60); do
        gdbus call --session -d org.fcitx.Fcitx5 -o /controller -m org.fcitx.Fcitx.Controller1.Activate >/dev/null
        [[ $(state) == 2 ]] && return 0
        sleep 0.05
      done
    }
    ;;
  ibus)
    module=ibus
    ibus-daemon --panel=disable --emoji-extension=disable >"$HOME/daemon.log" 2>&1 &
    daemon=$!
    for _ in $(seq 100); do
      address=$(ibus address 2>/dev/null || true)
      [[ -n "$address" && "$address" != "(null)" ]] && break
      sleep 0.1
    done
    [[ -n "$address" && "$address" != "(null)" ]] || fail "ibus-daemon did not start"
    # IBus tells a client nothing about Mozc's mode: the steps wait a little.
    wait_on() { sleep 0.5; }
    wait_off() { sleep 0.5; }
    off_key() { xdotool key Zenkaku_Hankaku; }
    settled_state() { sleep 0.4; }
    # Mozc starts off under IBus: its on/off key, until a probe shows it on.
    mozc_on_by_hand() {
      # A fresh ibus-daemon knows its engines only once it has read them.
      for _ in $(seq 50); do ibus engine mozc-jp 2>/dev/null && break; sleep 0.1; done
      [[ $(ibus engine) == mozc-jp ]] || fail "IBus did not take Mozc as its engine"
      for _ in $(seq 10); do
        probe
        [[ $line == あ ]] && return 0
        xdotool key Zenkaku_Hankaku
        sleep 0.3
      done
      fail "Mozc did not come on in the bare line edit"
    }
    ;;
esac
export QT_IM_MODULE=$module

# Types romaji, converts with Space and commits with Return.
convert() {
  xdotool type --delay 60 "$1"
  xdotool key --delay 150 space Return
}

keys=tibakennfunabasisi
number=no12

# What Mozc makes of the same keys in a bare line edit, which prints its
# text at each Return.
out=$run/home/line_edit.out
"$run/line_edit" >"$out" &
edit_pid=$!
printed=0
# Waits for the line edit's next line and puts it in $line.
next_line() {
  for _ in $(seq 50); do (($(wc -l <"$out") > printed)) && break; sleep 0.1; done
  (($(wc -l <"$out") > printed)) || fail "the bare line edit printed nothing"
  printed=$((printed + 1))
  line=$(sed -n "${printed}p" "$out")
}
# Types "a" and two Returns: "あ" comes out when Mozc is on, "a" and an empty
# line when it is off. Puts the first line in $line.
probe() {
  xdotool type a
  xdotool key --delay 150 Return Return
  next_line
  local first=$line
  [[ $first == あ ]] || next_line
  line=$first
}
edit=$(window '^ime-line-edit$')
xdotool windowmove "$edit" 0 960 # clear of the program's windows
sleep 0.5
click "$edit" 100 20
sleep 0.3
mozc_on_by_hand
wait_on "Mozc did not come on in the bare line edit"
convert "$keys"
xdotool key Return
next_line
expected=$line
xdotool type --delay 60 "$number"
xdotool key --delay 150 Return Return
next_line
expected_number=$line
shot 01-line-edit
# The line edit stays open with Mozc off: the program must never switch it on.
off_key
wait_off "the on/off key did not turn Mozc off in the bare line edit"
if [[ $framework == ibus ]]; then
  # The program has to bring Mozc in itself, as where the desktop starts with
  # a keyboard layout.
  ibus engine xkb:us::eng || fail "IBus did not take the US keyboard layout"
fi
echo "Mozc in a bare line edit: $keys -> $expected, $number -> $expected_number"
[[ -n "$expected" && "$expected" != "$keys" ]] || fail "Mozc converted nothing in the bare line edit: '$expected'"
[[ "$expected" == 千葉県船橋市 ]] || echo "note: Mozc's first candidate is $expected"

"$run/app/fudousan" &
app_pid=$!
menu=$(window '^Quintaveli$')
sleep 0.5

# Pixel positions are the layouts' twips / 15 (96 DPI), at a box's centre.
entry=$(open_screen "$menu" 508 507) || fail "the entry screen did not open" # 物件登録

# The first box of the freshly opened screen.
click "$entry" 276 118 # box 1, 所在
wait_on "box 1 of a fresh entry screen did not switch Mozc on"
convert "$keys"

# Off by hand, then another box switches it on again; the box is clicked
# while another program's window has the focus, so the switch comes with the
# window's activation and must not land on that window.
off_key
wait_off "the on/off key did not turn Mozc off"
click "$edit" 100 20
settled_state >/dev/null
click "$entry" 276 150 # box 2, 交通
wait_on "box 2 did not switch Mozc on again"
convert "$keys"
shot 02-converted
if [[ $framework == fcitx5 ]]; then
  # fcitx5 keeps a state per window. (IBus moves its one engine, with Mozc's
  # mode, to whichever window has the focus.)
  click "$edit" 100 20
  settled_state >/dev/null
  probe
  [[ $line == a ]] || fail "Mozc was switched on in the bare line edit: it gave '$line' for a"
fi

# Box 26 after box 25 keeps the state: first off by hand, then on.
click "$entry" 216 710 # box 25, 仲介料
wait_on "box 25 did not switch Mozc on"
off_key
wait_off "the on/off key did not turn Mozc off in box 25"
click "$entry" 782 669 # box 26, 番号
[[ $(settled_state) != 2 ]] || fail "box 26 switched Mozc on"
xdotool type --delay 60 "$number"
click "$entry" 216 710
wait_on "box 25 did not switch Mozc on"
click "$entry" 782 669
[[ $(settled_state) != 1 ]] || fail "box 26 switched Mozc off"
xdotool type --delay 60 "$number"
xdotool key --delay 150 Return
shot 03-number

click "$entry" 755 51 # 登録
message=$(window '^Mirandel$')
shot 04-registered
xdotool key Return
sql() { sqlite3 "$run/app/Fudousan.mdb" "$1"; }
[[ $(sql "SELECT count(*) FROM Fudousan") == 1 ]] || fail "registering stored $(sql 'SELECT count(*) FROM Fudousan') rows"
row=$(sql "SELECT Syozai || '|' || Koutu || '|' || Tyuukai || '|' || No_Fudousan FROM Fudousan")
want="$expected|$expected||$number$expected_number"
[[ "$row" == "$want" ]] || fail "stored row is '$row', expected '$want'"
echo "1 passed, 0 failed ($framework + Mozc: $row)"
