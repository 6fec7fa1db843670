#!/usr/bin/env bash
# End to end, on a real X display (Xvfb), for a person with a fresh home: Vantle set up as
# scripts/run does (scripts/desktop-entry: the launcher and the "vantle://" entry) starts
# through that launcher, which brings up the local stack. The person signs in on the
# authority's page in the default browser (a scripted one, registered through mimeapps.list);
# the desktop hands the "vantle://" link back to a second start through the entry, which
# passes it to the running Vantle. The welcome step, then the Hour Audit taken from the
# keyboard alone up to the week; Ctrl+Q quits, and the stack stops with Vantle. A link opened
# while Vantle is closed starts it through the entry, with the stack, and reaches the week.
# Started while the stack is down, Vantle cannot load the week; once the stack is back on the
# same ports, the week shows by itself. A screenshot of the window is saved at each step.
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
# No address from the caller: every start finds the services the way a start from the
# desktop does, through the launcher.
for name in $(compgen -e); do
  case "$name" in VANTLE_*) unset "$name" ;; esac
done
export HOME="$work" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
export XDG_STATE_HOME="$work/state" XDG_RUNTIME_DIR="$work/runtime"
export XDG_DATA_DIRS=/usr/local/share:/usr/share
export QT_QPA_PLATFORM=xcb
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:detect_stack_use_after_return=0}"
export E2E_BROWSER_LOG="$work/browser.log" E2E_BROWSER_EMAIL="e2e-$$@example.test"
: >"$E2E_BROWSER_LOG"
stack_env="$work/stack/env"

# The Vantle processes of this test: this build's executable, in this test's home.
vantle_pids() {
  local exe pid
  for exe in /proc/[0-9]*/exe; do
    [ "$exe" -ef "$vantle" ] || continue
    pid=${exe#/proc/}; pid=${pid%/exe}
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "HOME=$work" && echo "$pid"
  done 2>/dev/null
  return 0
}

pids=()
cleanup() {
  local pid
  for pid in $(vantle_pids) "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
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

# Waits (seconds) until a process has ended.
wait_for_exit() {
  local pid=$1 seconds=$2 what=$3
  for _ in $(seq $((seconds * 10))); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
  fail "$what"
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

# The desktop: Vantle's launcher and entry, written by the code scripts/run uses, as the
# handler of "vantle://"; the scripted browser as the handler of web links.
launcher="$work/bin/vantle-local"
"$root/scripts/desktop-entry" "$launcher" "$vantle" "$stack" "$work/stack" || fail "the desktop entry was not written"
cp "$here/scripted-browser.sh" "$work/bin/browser"
chmod +x "$work/bin/browser"
cat >"$XDG_DATA_HOME/applications/e2e-browser.desktop" <<DESKTOP
[Desktop Entry]
Type=Application
Name=Scripted browser
Exec=$work/bin/browser %u
MimeType=x-scheme-handler/http;x-scheme-handler/https;
NoDisplay=true
DESKTOP
xdg-mime default e2e-browser.desktop x-scheme-handler/http x-scheme-handler/https
[ "$(xdg-mime query default x-scheme-handler/vantle)" = vantle.desktop ] || fail "vantle:// is not Vantle's"
[ "$(xdg-mime query default x-scheme-handler/http)" = e2e-browser.desktop ] || fail "the browser is not registered"
grep -q vantle.desktop "$XDG_CONFIG_HOME/mimeapps.list" || fail "mimeapps.list does not name Vantle"
grep -qx "Exec=$launcher %u" "$XDG_DATA_HOME/applications/vantle.desktop" || fail "the entry does not start the launcher"

# The window of the Vantle that runs.
find_window() {
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
# Ctrl+Q, then waits for `pid` (what started Vantle) to end: the launcher stops the stack it
# started once Vantle has quit.
quit_vantle() {
  keys ctrl+q
  wait_for_exit "$1" 60 "Ctrl+Q did not quit Vantle, or its launcher did not end"
  [ -z "$(vantle_pids)" ] || fail "Vantle still runs after Ctrl+Q"
  [ ! -e "$stack_env" ] || fail "the local stack the launcher started still runs after Vantle quit"
}

# Vantle itself, started as scripts/run starts it.
"$launcher" >>"$work/vantle.log" 2>&1 &
launcher_pid=$!
pids+=("$launcher_pid")
find_window
[ -s "$stack_env" ] || fail "the launcher did not bring up the local stack"
# What Vantle hands on to the programs it starts, the browser among them (ports outlive the
# stack: every later stack serves on these).
cp "$stack_env" "$work/stack.env"

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
[ -n "$(vantle_pids)" ] || fail "the running Vantle is gone"
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
count=$(vantle_pids | wc -l)
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

# Ctrl+Q quits from the window, and the stack the launcher started stops with Vantle.
quit_vantle "$launcher_pid"

# Runs a command with the addresses Vantle had, as the browser it started has them.
with_stack_addresses() {
  (
    while IFS='=' read -r name value; do
      case "$name" in VANTLE_*) export "$name=$value" ;; esac
    done <"$work/stack.env"
    exec "$@"
  )
}

# A "vantle://" link while Vantle is closed: the browser that Vantle started comes back late,
# with Vantle's addresses in its environment, which name a stack that is down by now. The
# desktop starts Vantle through the entry, which brings up the stack again, and the week shows.
: >"$work/vantle.log"
rm -f "$XDG_STATE_HOME"/vantle/logs/*
with_stack_addresses xdg-open "vantle://auth/callback?code=e2e-late&state=e2e-late" >>"$work/vantle.log" 2>&1 &
opener_pid=$!
pids+=("$opener_pid")
find_window
wait_for_log 'root_surface surface=main' 90 "a vantle:// link opened while Vantle was closed did not reach the week"
[ -s "$stack_env" ] || fail "the entry's start did not bring up the local stack"
sleep 1
shot 08-week-from-link
echo "e2e: a vantle:// link started the closed Vantle through its desktop entry, with the local stack"
quit_vantle "$opener_pid"

# Started while the services are down (with the addresses the stack had): the session is
# there, the week cannot load.
: >"$work/vantle.log"
rm -f "$XDG_STATE_HOME"/vantle/logs/*
with_stack_addresses "$vantle" >>"$work/vantle.log" 2>&1 &
pids+=($!)
find_window
wait_for_log 'root_surface surface=offline' 90 "no offline state while the ledger could not be reached"
sleep 1
shot 09-offline
# The services come back on the same ports: the week shows without anyone pressing Retry.
"$stack" --data "$work/stack" --env-file "$stack_env" >>"$work/stack.log" 2>&1 &
pids+=($!)
wait_for_log 'root_surface surface=main' 120 "the week did not show once the ledger answered again"
sleep 1
shot 10-week-after-offline
echo "e2e: started offline, then shown the week once the ledger answered"
