# Sourced: starts a private Xvfb when there is no display and stops it on exit.
if [[ -z "${DISPLAY:-}" ]]; then
  for n in $(seq 90 140); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    QM_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$n ]] && break; sleep 0.1; done
    trap 'kill $QM_XVFB_PID 2>/dev/null || true' EXIT
    break
  done
fi
