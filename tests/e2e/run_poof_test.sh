#!/bin/bash
# The poof on a real X display with a window manager, first without a compositing manager
# (the effect must be shaped, never an opaque rectangle), then with one (translucent).
# Usage: run_poof_test.sh BUILD_DIR [SHOT_DIR]
set -u
probe=$1/tests/e2e_poofprobe
shots=${2:-}
[ -n "$shots" ] && mkdir -p "$shots"
for tool in Xvfb openbox xcompmgr; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
[ -x "$probe" ] || { echo "FAIL: build e2e_poofprobe first"; exit 1; }

work=$(mktemp -d /tmp/vorpel-poof.XXXXXX)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

exec 3< <(Xvfb -displayfd 1 -screen 0 1280x900x24 -nolisten tcp 2>/dev/null & echo "pid $!")
read -r _ xpid <&3
pids+=("$xpid")
read -r -t 10 dnum <&3 || { echo "SKIP: Xvfb did not start"; exit 77; }
export DISPLAY=:$dnum QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1

status=0
echo "# no compositing manager"
"$probe" plain $shots || status=1

xcompmgr >"$work/xcompmgr.log" 2>&1 &
pids+=($!)
echo "# with xcompmgr"
"$probe" composited $shots || status=1

[ "$status" = 0 ] && echo "the poof draws cleanly with and without compositing" || echo "poof checks failed"
exit $status
