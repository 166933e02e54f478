# Sourced: makes sure windows can be made. Uses the caller's display, or a private Xvfb that is
# stopped when the calling script ends. The caller adds its own end steps with
# kestrel_at_exit 'COMMAND': they run when the script ends, passed, failed or interrupted, the
# last added first, and before the Xvfb goes.
kestrel_exit_steps=":"
kestrel_at_exit() {
  kestrel_exit_steps="$1; $kestrel_exit_steps"
}
trap 'eval "$kestrel_exit_steps"' EXIT
trap 'exit 130' INT TERM HUP
if [ -z "$DISPLAY" ]; then
  for n in 97 98 99 96 95; do
    [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    kestrel_xvfb=$!
    export DISPLAY=:$n
    kestrel_at_exit 'kill $kestrel_xvfb 2>/dev/null'
    sleep 1
    break
  done
fi

# kestrel_windows_titled TITLE: waits up to a minute for a window of that title, gives it three
# seconds to settle and paint, and prints how many windows bear the title.
kestrel_windows_titled() {
  for i in $(seq 1 60); do
    xwininfo -root -tree 2>/dev/null | grep -q "\"$1\"" && break
    sleep 1
  done
  sleep 3
  xwininfo -root -tree 2>/dev/null | grep -c "\"$1\""
}
