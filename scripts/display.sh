#!/usr/bin/env bash
# A private X display (Xvfb) for the program's windows under Wine. Sourced:
#   orvalin_display_start     starts Xvfb on a free display, exports DISPLAY
#   orvalin_display_stop      stops that Xvfb (by its PID)

orvalin_display_start() {
  local n
  for n in $(seq 90 130); do
    [[ -e "/tmp/.X11-unix/X$n" || -e "/tmp/.X$n-lock" ]] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    ORVALIN_XVFB_PID=$!
    local tries
    for tries in $(seq 1 50); do
      if [[ -e "/tmp/.X11-unix/X$n" ]]; then
        export DISPLAY=":$n"
        return 0
      fi
      kill -0 "$ORVALIN_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill "$ORVALIN_XVFB_PID" 2>/dev/null || true
  done
  echo "display: no Xvfb could be started" >&2
  return 1
}

orvalin_display_stop() {
  if [[ -n "${ORVALIN_XVFB_PID:-}" ]]; then
    kill "$ORVALIN_XVFB_PID" 2>/dev/null || true
    wait "$ORVALIN_XVFB_PID" 2>/dev/null || true
    unset ORVALIN_XVFB_PID
  fi
}
