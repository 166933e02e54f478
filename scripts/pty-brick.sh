# Sourced: pty_brick TOOL [--unpaced] [ARG...] starts the native tool's virtual brick on a
# pseudo-terminal (paced at line speed unless --unpaced) in the background, with its further
# arguments, and waits for it to name the terminal. Sets server (its process), served (a file with its output) and terminal (the
# device, or what it said instead); fails, saying what the tool said, when no terminal came.
# pty_brick_stop ends that brick and removes its output file.
pty_brick() {
  served=$(mktemp)
  pty_tool=$1
  shift
  pty_pace=--pace
  if [ "$1" = --unpaced ]; then
    pty_pace=
    shift
  fi
  "$pty_tool" virtual --pty $pty_pace "$@" >"$served" 2>&1 </dev/null &
  server=$!
  tries=0
  while [ ! -s "$served" ] && [ $tries -lt 50 ]; do
    sleep 0.1
    tries=$((tries + 1))
  done
  terminal=$(head -n 1 "$served")
  case "$terminal" in
  /dev/*) ;;
  *)
    echo "the virtual brick did not start: $(cat "$served")"
    return 1
    ;;
  esac
}

pty_brick_stop() {
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  rm -f "$served"
}
