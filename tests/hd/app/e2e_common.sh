# Shared by the every-frame end-to-end tests and the GUI capture benchmark
# (sourced, not run): start framewright-hd on a settings folder of its own,
# wait for its windows, start and end a capture, and read back the frame
# stamps of the movie it wrote. Needs xdotool, ImageMagick and ffmpeg, on a
# real X server (tests/support/with_xvfb.sh). Every wait is on a condition
# with a time limit, never a fixed sleep.
#
# The caller sets: app, helper, work (an empty folder), timeout_seconds, and
# a function fail MESSAGE that never returns (e2e_begin makes one).

pid=

# e2e_begin NAME TOOL...: how every end-to-end test starts. Checks for the
# tools, makes $artefacts, defines fail (a screenshot of the screen and the
# program's log kept in $artefacts), and on exit kills a program still
# running and removes $work, which the caller may set again for each run.
e2e_begin() {
  e2e_name=$1
  shift
  work=${work:-}
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "$e2e_name: $tool is missing (scripts/install-deps)" >&2; exit 1; }
  done
  mkdir -p "$artefacts"
  fail() {
    echo "$e2e_name: FAIL: $*" >&2
    import -window root "$artefacts/failure.png" 2>/dev/null || true
    [ -n "${work:-}" ] && [ -f "$work/app.log" ] && cp "$work/app.log" "$artefacts/app.log"
    exit 1
  }
  e2e_end() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid" 2>/dev/null || true; fi
    [ -n "${work:-}" ] && rm -rf "$work"
  }
  trap e2e_end EXIT
}
app_running() { kill -0 "$pid" 2>/dev/null; }
app_ended() { ! app_running; }

# wait_until DESCRIPTION COMMAND...: polls COMMAND until it succeeds.
wait_until() {
  local what=$1
  shift
  local end=$((SECONDS + timeout_seconds))
  until "$@"; do
    # The condition is asked once more after the program ended: it may have
    # come true (the program's own end, say) between the two looks.
    app_running || "$@" || fail "framewright-hd ended while waiting for $what"
    ((SECONDS < end)) || fail "no $what after ${timeout_seconds}s"
    sleep 0.2
  done
}

visible_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
main_window_shown() { main=$(visible_window '^Framewright HD$') && [ -n "$main" ]; }
capture_window_shown() { capture=$(visible_window '^Framewright HD - Capture') && [ -n "$capture" ]; }
capture_window_gone() { [ -z "$(visible_window '^Framewright HD - Capture')" ]; }

# The preview region of the main window (the picture of a 16:9 input).
preview_crop=600x300+100+130
# The picture is up when the preview area is no longer one flat colour.
preview_showing() {
  import -window "$main" "$work/main.png" 2>/dev/null || return 1
  local spread
  spread=$(convert "$work/main.png" -crop $preview_crop +repage -colorspace Gray \
    -format '%[fx:standard_deviation]' info: 2>/dev/null) || return 1
  awk -v s="$spread" 'BEGIN { exit !(s > 0.1) }'
}

# start_app TRIGGER INPUT [ENV=VALUE...]: a clean settings folder that sends
# captures to $documents on the built-in camera with this capture trigger
# and input (picture size), and the movie rate $movie_rate (frames per
# second x 100) when set, then the program with the variables given.
start_app() {
  local trigger=$1 input=$2
  shift 2
  export HOME=$work/home
  export XDG_CONFIG_HOME=$work/config
  documents=$work/Documents
  mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$documents"
  printf 'XDG_DOCUMENTS_DIR="%s"\n' "$documents" >"$XDG_CONFIG_HOME/user-dirs.dirs"
  # shellcheck disable=SC2086  # the movie's rate, when the caller sets movie_rate
  "$helper" write-prefs "$XDG_CONFIG_HOME/Framewright Preferences" 3 framewright-test-pattern "$trigger" "$input" \
    ${movie_rate:-}
  env "$@" "$app" >"$work/app.log" 2>&1 &
  pid=$!
  wait_until "main window" main_window_shown
  wait_until "live preview in the main window" preview_showing
}

# Presses the capture button (right-aligned, 10 pixels in, in the 54-pixel
# bar at the bottom of the main window) and waits for the capture window.
start_capture() {
  eval "$(xdotool getwindowgeometry --shell "$main")"
  xdotool mousemove --window "$main" $((WIDTH - 10 - 75)) $((HEIGHT - 27)) click 1
  wait_until "capture window" capture_window_shown
}

# Escape, back to the main window, then Quit; the program must exit cleanly.
has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
stop_capture_and_quit() {
  wait_until "keyboard focus in the capture window" has_focus "$capture"
  xdotool key Escape
  wait_until "end of the capture" capture_window_gone
  wait_until "main window back" main_window_shown
  wait_until "keyboard focus back in the main window" has_focus "$main"
  xdotool key ctrl+q
  wait_until "program to quit" app_ended
  wait "$pid" || fail "framewright-hd exited with status $?"
  pid=
}

# The one movie in $documents.
the_movie() {
  shopt -s nullglob
  local movies=("$documents"/*.mov)
  shopt -u nullglob
  [ ${#movies[@]} -eq 1 ] || fail "expected one movie in Documents, found ${#movies[@]}"
  echo "${movies[0]}"
}

# movie_stamps MOVIE WIDTH HEIGHT: the frame number of every frame, in order.
movie_stamps() {
  ffmpeg -v error -i "$1" -f rawvideo -pix_fmt uyvy422 - | "$helper" read-stamps "$2" "$3"
}

# stamp_summary: from stamps on stdin, "kept made missing first last", where
# made counts the camera's frames from the first to the last one written.
stamp_summary() {
  awk 'BEGIN { n = 0 }
       /^[0-9]+$/ { if (n == 0) first = $1; last = $1; n++ }
       !/^[0-9]+$/ { bad++ }
       END { if (n == 0 || bad > 0) { print "0 0 0 0 0"; exit 1 }
             made = last - first + 1; print n, made, made - n, first, last }'
}

# The number after NAME= in the capture timing line of the program's log.
timing_field() {
  sed -n "s/.*capture timing:.* $1=\([0-9.]*\).*/\1/p" "$work/app.log" | tail -n 1
}
