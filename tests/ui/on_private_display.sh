#!/bin/sh
# Runs a command on an X display of its own when Xvfb is installed, else with no display at all
# (the Qt tests then use Qt's offscreen platform). Xvfb picks a free display number itself and
# reports it (-displayfd), so test programs run side by side never race for one; it is stopped
# by its PID when the command ends, and a server that does not report within 5 s is given up.
set -u
unset DISPLAY
command -v Xvfb >/dev/null 2>&1 || exec "$@"
dir=$(mktemp -d) || exit 1
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$dir/display" 2>"$dir/log" &
server=$!
tries=0
while [ ! -s "$dir/display" ] && [ "$tries" -lt 100 ] && kill -0 "$server" 2>/dev/null; do
  sleep 0.05
  tries=$((tries + 1))
done
status=1
if [ -s "$dir/display" ]; then
  DISPLAY=":$(tr -d '\n' <"$dir/display")" "$@"
  status=$?
else
  echo "Xvfb did not start: $(cat "$dir/log")" >&2
fi
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
rm -rf "$dir"
exit "$status"
