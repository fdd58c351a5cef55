# What the scripts share. Source it after `cd` to the repository's root:
#   . scripts/lib.sh
# Every process started through it is ended when the script exits.

lib_pids=()
lib_cleanup() {
  local p
  for p in "${lib_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap lib_cleanup EXIT

# Starts a command in the background and ends it with the script.
#   lib_background LOG COMMAND...
lib_background() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 &
  lib_pids+=($!)
}

# A copy of a built program directory: the program, the library, the simulated clients,
# the sounds and config.cfg. Prints the copy's absolute path.
#   lib_copy_program FROM TO
lib_copy_program() {
  local from=$1 to=$2
  rm -rf "$to"
  mkdir -p "$to"
  cp "$from/staticor" "$from/libTSRemote.so" "$from/ts2-client-sim" "$from/ts5-client-sim" \
    "$from"/*.wav \
    "$from/config.cfg" "$to/"
  (cd "$to" && pwd)
}

# Waits until a command succeeds, checking every 0.1 s for up to SECONDS.
#   lib_wait_for SECONDS COMMAND...
lib_wait_for() {
  local tries=$(($1 * 10))
  shift
  while ((tries-- > 0)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# Waits until a file exists and is not empty.
#   lib_wait_for_file SECONDS FILE
lib_wait_for_file() { lib_wait_for "$1" test -s "$2"; }

# A private virtual display (Xvfb, never reset between clients) for the rest of the script,
# with IceWM as its window manager and notification area when the second argument is
# --with-wm. Its number goes to DIR/.display.
#   lib_start_display DIR [--with-wm]
lib_start_display() {
  local dir=$1
  exec 3>"$dir/.display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  lib_pids+=($!)
  lib_wait_for_file 5 "$dir/.display" || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(head -1 "$dir/.display")"
  if [ "${2:-}" = "--with-wm" ]; then
    icewm >/dev/null 2>&1 &
    lib_pids+=($!)
    # IceWM has taken the display when it has set its supporting window.
    lib_wait_for 5 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
  fi
}

# The X window of a program's main window, once it is shown (up to 10 s).
lib_main_window() {
  lib_wait_for 10 xdotool search --onlyvisible --name '^Staticor v' || return 1
  xdotool search --onlyvisible --name '^Staticor v' | head -1
}

# The window manager's frame around a client window: a screenshot of it has the title bar.
lib_frame_of() {
  xwininfo -children -id "$1" | awk '/Parent window id/ {print $4}'
}

# A real Mumble server and clients (scripts/mumble-rig) in DIR for the rest of the script, on
# the given display or a virtual one of its own; returns once every client is connected.
# lib_mumble sends the rig a command (its answers go to DIR/rig.out), lib_mumble_bus names a
# client's D-Bus session bus.
#   lib_start_mumble DIR [--display=:N] NAME...
lib_start_mumble() {
  lib_mumble_dir=$1
  shift
  local display_arg=()
  if [[ "${1:-}" == --display=* ]]; then
    display_arg=("$1")
    shift
  fi
  mkdir -p "$lib_mumble_dir"
  rm -f "$lib_mumble_dir/rig.in"
  mkfifo "$lib_mumble_dir/rig.in"
  scripts/mumble-rig "${display_arg[@]}" "$lib_mumble_dir/rig" "$@" <"$lib_mumble_dir/rig.in" \
    >"$lib_mumble_dir/rig.out" 2>"$lib_mumble_dir/rig.log" &
  local rig=$!
  lib_pids+=($rig)
  # Held open for reading and writing, so that neither end waits for the other; the rig ends
  # when the script does and this end closes.
  exec 4<>"$lib_mumble_dir/rig.in"
  lib_wait_for 180 sh -c "grep -q '^ready' '$lib_mumble_dir/rig.out' || ! kill -0 $rig"
  grep -q '^ready' "$lib_mumble_dir/rig.out" || {
    echo "the Mumble rig did not start (see $lib_mumble_dir/rig.log)" >&2
    return 1
  }
}
lib_mumble() { echo "$*" >&4; }
lib_mumble_bus() { sed -n "s/^client $1 //p" "$lib_mumble_dir/rig.out"; }
