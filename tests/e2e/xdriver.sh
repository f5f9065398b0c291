# What the tests that drive the real program in Xvfb share: finding windows
# by title, clicking, typing (read back through the clipboard), answering
# message boxes, screenshots. Sourced; the X server is $DISPLAY and the
# screenshots go to $artifacts.

fail() {
  echo "FAIL: $*"
  import -window root "$artifacts/failure.png" || true
  exit 1
}
shot() { sleep 0.4; import -window root "$artifacts/$1.png"; }

# The newest visible window whose title matches $1 (waits up to 10 s).
window() {
  local ids
  for _ in $(seq 100); do
    ids=$(xdotool search --onlyvisible --name "$1" 2>/dev/null || true)
    if [[ -n "$ids" ]]; then
      echo "$ids" | tail -n 1
      return 0
    fi
    sleep 0.1
  done
  fail "no window named $1"
}

# Waits until no visible window's title matches $1.
gone() {
  for _ in $(seq 100); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  fail "window $1 still open"
}

# Clicks (x, y) in window $1 and prints the id of the screen (titled
# Quintaveli) that appears: one that was not showing before the click. Fails
# (status 1) when none appeared within 5 s.
open_screen() {
  local before id
  before=$(xdotool search --onlyvisible --name '^Quintaveli$' 2>/dev/null || true)
  click "$1" "$2" "$3"
  for _ in $(seq 50); do
    for id in $(xdotool search --onlyvisible --name '^Quintaveli$' 2>/dev/null || true); do
      grep -qx "$id" <<<"$before" || {
        echo "$id"
        return 0
      }
    done
    sleep 0.1
  done
  return 1
}

count_windows() { xdotool search --onlyvisible --name "$1" 2>/dev/null | wc -l; }

# Clicks at (x, y) pixels inside window $1.
click() {
  xdotool mousemove --window "$1" "$2" "$3" click 1
  sleep 0.3
}

# Types $1 into the focused box, replacing what it held, and reads it back
# through the clipboard. Characters outside the keymap are typed by remapping
# a key for each, which a loaded machine can race (a character dropped or
# doubled), so a box whose text did not arrive whole is typed again.
type_here() {
  for _ in 1 2 3; do
    xdotool key ctrl+a
    xdotool type --delay 60 "$1"
    xdotool key ctrl+a ctrl+c
    sleep 0.2
    [[ "$(xclip -o -selection clipboard 2>/dev/null)" == "$1" ]] && return 0
  done
  fail "typing '$1' did not arrive whole"
}

# Clicks a box and types into it.
type_into() {
  click "$1" "$2" "$3"
  type_here "$4"
}

# Answers the message box titled $1 with Return, after a screenshot $2.
answer_message() {
  local box
  box=$(window "^$1\$")
  shot "$2"
  xdotool key Return
  gone "^$1\$"
}
