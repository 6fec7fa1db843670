#!/usr/bin/env bash
# End to end, on a real X display (Xvfb): a person with a fresh home starts Vantle against
# the local stack, chooses a sign-in provider, signs in on the authority's page in the
# default browser (a scripted one, registered through mimeapps.list), comes back through a
# "vantle://" link that the desktop hands to a second start of Vantle, which passes it to
# the running one; Vantle then shows the welcome step, and after Continue the Hour Audit,
# which the person takes from the keyboard alone up to their week, then quits with Ctrl+Q.
# Started again while the local stack is down, Vantle says it cannot load the week; once the
# stack is back (on the same ports), the week shows by itself. A screenshot of the window is
# saved at each step.
#
#   signin-to-audit.sh <vantle> <local-stack> <screenshot folder>
#
# Runs in a D-Bus session and keyring of its own, so no other test's keychain items are seen.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

if [ "${1:-}" != --inner ]; then
  [ $# -eq 3 ] || { echo "usage: $0 <vantle> <local-stack> <screenshot folder>" >&2; exit 2; }
  for tool in Xvfb xdotool import xdg-mime xdg-open curl dbus-run-session gnome-keyring-daemon; do
    command -v "$tool" >/dev/null || { echo "e2e: $tool is missing (scripts/setup installs it)" >&2; exit 1; }
  done
  work=$(mktemp -d /tmp/vantle-e2e.XXXXXX)
  mkdir -p "$3"
  shots=$(cd "$3" && pwd)
  status=0
  env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u GNOME_DESKTOP_SESSION_ID -u KDE_FULL_SESSION \
      -u BROWSER -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS \
      dbus-run-session -- bash "$0" --inner "$1" "$2" "$shots" "$work" || status=$?
  if [ "$status" -eq 0 ]; then rm -rf "$work"; else echo "e2e: files kept in $work" >&2; fi
  exit "$status"
fi

vantle=$2 stack=$3 shots=$4 work=$5
mkdir -p "$work"/{data,config,cache,state,runtime,bin,stack}
chmod 700 "$work/runtime"
export HOME="$work" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
export XDG_STATE_HOME="$work/state" XDG_RUNTIME_DIR="$work/runtime"
export XDG_DATA_DIRS=/usr/local/share:/usr/share
export QT_QPA_PLATFORM=xcb
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:detect_stack_use_after_return=0}"
export E2E_BROWSER_LOG="$work/browser.log" E2E_BROWSER_EMAIL="e2e-$$@example.test"
: >"$E2E_BROWSER_LOG"

pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

fail() {
  echo "e2e: FAILED: $*" >&2
  for f in vantle.log browser.log stack.log; do
    if [ -s "$work/$f" ]; then echo "----- $f" >&2; tail -n 60 "$work/$f" >&2; fi
  done
  if [ -d "$XDG_STATE_HOME/vantle/logs" ]; then
    echo "----- application log" >&2; cat "$XDG_STATE_HOME"/vantle/logs/* 2>/dev/null | tail -n 60 >&2 || true
  fi
  shot "failure" || true
  exit 1
}

# The application's own log lines: its standard error and its log files.
app_log() { cat "$work/vantle.log" "$XDG_STATE_HOME"/vantle/logs/* 2>/dev/null || true; }

# Waits (seconds) until the application has logged a line matching the pattern.
wait_for_log() {
  local pattern=$1 seconds=$2 what=$3 waited=0
  until app_log | grep -Eq "$pattern"; do
    waited=$((waited + 1))
    [ "$waited" -le $((seconds * 10)) ] || fail "$what (no '$pattern' in the log after ${seconds}s)"
    sleep 0.1
  done
}

# Clicks the middle of the accent-coloured area in the lower part of the window: the one
# primary button of the step on screen (the logo's accent arc sits higher up).
click_accent_button() {
  local grab="$work/grab.png" box w h x y
  import -window "$window" "$grab"
  w=$(identify -format '%w' "$grab"); h=$(identify -format '%h' "$grab")
  box=$(convert "$grab" -crop "${w}x$((h * 6 / 10))+0+$((h * 4 / 10))" +repage -fuzz 4% \
        -fill black +opaque '#F0A32A' -fill white -opaque '#F0A32A' -trim -format '%w %h %X %Y' info:) || return 1
  read -r bw bh bx by <<<"$box"
  [ "$bw" -gt 20 ] && [ "$bh" -gt 10 ] || return 1
  x=$((bx + bw / 2)); y=$((by + bh / 2 + h * 4 / 10))
  xdotool mousemove --window "$window" "$x" "$y" click 1
}

window=""
shot() {
  [ -n "$window" ] || return 1
  import -window "$window" "$shots/$1.png" && echo "e2e: screenshot $shots/$1.png"
}

# A real X display.
Xvfb -displayfd 9 -screen 0 1280x800x24 -nolisten tcp 9>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"

# A keyring of this session's own, unlocked.
eval "$(echo -n vantle-e2e | gnome-keyring-daemon --unlock --components=secrets)" >/dev/null

# The local stack, from an empty data folder; started again later on the same folder, it
# serves on the same ports.
stack_pid=""
start_stack() {
  rm -f "$work/stack.env"
  "$stack" --data "$work/stack" --env-file "$work/stack.env" >>"$work/stack.log" 2>&1 &
  stack_pid=$!
  pids+=("$stack_pid")
  for _ in $(seq 300); do [ -s "$work/stack.env" ] && break; sleep 0.1; done
  [ -s "$work/stack.env" ] || fail "the local stack did not come up"
}
start_stack
while IFS='=' read -r name value; do
  case "$name" in VANTLE_*) export "$name=$value" ;; esac
done <"$work/stack.env"

# The desktop: Vantle's entry as the handler of "vantle://", the scripted browser as the
# handler of web links. Exec lines take plain paths, hence the links in bin/.
ln -s "$(readlink -f "$vantle")" "$work/bin/vantle"
cp "$here/scripted-browser.sh" "$work/bin/browser"
chmod +x "$work/bin/browser"
mkdir -p "$XDG_DATA_HOME/applications"
sed -e "s#^Exec=.*#Exec=$work/bin/vantle %u#" "$root/Vantle/Resources/vantle.desktop" \
  >"$XDG_DATA_HOME/applications/vantle.desktop"
cat >"$XDG_DATA_HOME/applications/e2e-browser.desktop" <<DESKTOP
[Desktop Entry]
Type=Application
Name=Scripted browser
Exec=$work/bin/browser %u
MimeType=x-scheme-handler/http;x-scheme-handler/https;
NoDisplay=true
DESKTOP
xdg-mime default vantle.desktop x-scheme-handler/vantle
xdg-mime default e2e-browser.desktop x-scheme-handler/http x-scheme-handler/https
[ "$(xdg-mime query default x-scheme-handler/vantle)" = vantle.desktop ] || fail "vantle:// is not Vantle's"
[ "$(xdg-mime query default x-scheme-handler/http)" = e2e-browser.desktop ] || fail "the browser is not registered"
grep -q vantle.desktop "$XDG_CONFIG_HOME/mimeapps.list" || fail "mimeapps.list does not name Vantle"

# Vantle itself.
start_vantle() {
  "$work/bin/vantle" >>"$work/vantle.log" 2>&1 &
  vantle_pid=$!
  pids+=("$vantle_pid")
  window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Vantle$' | head -n1) || fail "no Vantle window"
  [ -n "$window" ] || fail "no Vantle window"
  echo "e2e: Vantle window $window on $DISPLAY"
}
# Keys to the window, as the keyboard sends them. Buttons are pressed with Space, which acts
# as the key comes up: the next key never races a screen still changing.
keys() {
  xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
  xdotool key --clearmodifiers --delay 120 "$@"
}
start_vantle

wait_for_log 'root_surface surface=gate' 60 "the first-run gate did not show"
sleep 1
shot 01-sign-in

# The first provider button, reached with the keyboard as a person without a mouse would.
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
sleep 0.5
xdotool key --clearmodifiers Tab
sleep 0.3
shot 01b-provider-focused
xdotool key --clearmodifiers space

wait_for_log 'gate_step step=welcome' 90 "the welcome step did not show after the browser came back"
grep -q 'handed the redirect to the desktop' "$E2E_BROWSER_LOG" || fail "the browser did not finish"
kill -0 "$vantle_pid" 2>/dev/null || fail "the running Vantle is gone"
sleep 1
shot 02-welcome

# Continue, the welcome step's one button, clicked as a person would, once it is drawn.
clicked=0
for _ in $(seq 120); do
  if click_accent_button; then clicked=1; break; fi
  sleep 0.5
done
[ "$clicked" = 1 ] || fail "no Continue button on the welcome step"

wait_for_log 'root_surface surface=audit' 60 "the Hour Audit did not show after the welcome step"
sleep 1
shot 03-hour-audit

# Exactly one Vantle runs: the start made by the desktop for the link handed it over and left.
count=$(pgrep -c -f "^$work/bin/vantle" || true)
[ "$count" = 1 ] || fail "$count Vantle processes run, not one"
echo "e2e: signed in through the browser, welcomed, and shown the Hour Audit"

# The Hour Audit from the keyboard alone. Sleep: Tab to the first chip, the arrows to 7h,
# Space picks it; Return is each question's "Next →".
keys Tab Right Right
sleep 0.5
shot 04-audit-keyboard-focus
keys space Return Return Return Return
# The dashboard has no default button: Shift+Tab from the top of the page reaches the last
# control, "Lock it in →".
keys shift+Tab
sleep 0.5
shot 05-dashboard-lock-it-in-focused
keys space
# The yours step: Tab to the row's name, a name, then Shift+Tab round to "Start tracking".
keys Tab
xdotool type --delay 60 "Reading"
keys shift+Tab
sleep 0.5
shot 06-yours-start-tracking-focused
keys space
wait_for_log 'root_surface surface=main' 60 "the week did not show after the audit taken from the keyboard"
sleep 1
shot 07-week
echo "e2e: took the Hour Audit from the keyboard alone"

# Ctrl+Q quits from the window.
keys ctrl+q
for _ in $(seq 300); do kill -0 "$vantle_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$vantle_pid" 2>/dev/null && fail "Ctrl+Q did not quit Vantle"

# Started while the services are down: the session is there, the week cannot load.
kill -TERM "$stack_pid"
wait "$stack_pid" 2>/dev/null || true
: >"$work/vantle.log"
rm -f "$XDG_STATE_HOME"/vantle/logs/*
start_vantle
wait_for_log 'root_surface surface=offline' 90 "no offline state while the ledger could not be reached"
sleep 1
shot 08-offline
# The services come back on the same ports: the week shows without anyone pressing Retry.
start_stack
wait_for_log 'root_surface surface=main' 120 "the week did not show once the ledger answered again"
sleep 1
shot 09-week-after-offline
echo "e2e: started offline, then shown the week once the ledger answered"
