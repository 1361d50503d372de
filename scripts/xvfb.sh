# Sourced by the scripts that need a display of their own.
# start_xvfb <folder>: starts Xvfb on a display that the server numbers itself, so that parallel
# runs never collide; sets xvfb_pid and exports DISPLAY. The server's answer is kept in <folder>.
# Every program under Wine is a client of its own: room for a selection of some hundred files.
start_xvfb() {
  exec 3>"$1/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -maxclients 1024 >/dev/null 2>&1 &
  xvfb_pid=$!
  exec 3>&-
  for _ in $(seq 100); do [ -s "$1/display" ] && break; sleep 0.1; done
  [ -s "$1/display" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(head -n 1 "$1/display")"
}
