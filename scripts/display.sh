# Sourced: makes sure windows can be made. Uses the caller's display, or a private Xvfb that is
# stopped when the calling script ends.
if [ -z "$DISPLAY" ]; then
  for n in 97 98 99 96 95; do
    [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    kestrel_xvfb=$!
    export DISPLAY=:$n
    trap 'kill $kestrel_xvfb 2>/dev/null' EXIT
    sleep 1
    break
  done
fi
