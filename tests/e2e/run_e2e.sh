#!/bin/bash
# Drives the real app on a private X display as a person would: drags files onto the Drop
# Screen, clicks buttons at their layout positions, types names, checks files on disk and
# takes screenshots at the key moments.
# Usage: run_e2e.sh BUILD_DIR SCREENSHOT_DIR [APP]
# With APP (an installed binary) only the document batch runs, as a smoke test of that tree.
set -u
build=$1
shots=$2
quick=${3:+yes}
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
app=${3:-$build/bin/vorpelconverter}
drag=$build/tests/e2e_dragsource
[ -x "$app" ] && [ -x "$drag" ] || { echo "FAIL: build the app and the drag source first"; exit 1; }

work=$(mktemp -d /tmp/vorpel-e2e.XXXXXX)
mkdir -p "$shots"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    chmod -R u+w "$work" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
check() { # check DESCRIPTION COMMAND...
    local what=$1; shift
    if "$@"; then echo "ok   - $what"; else echo "FAIL - $what"; failures=$((failures + 1)); fi
}

# A display of our own with a window manager as on a desktop, and no compositing manager:
# nothing the program draws may rely on one.
# VORPEL_E2E_DISPLAY picks the display number; otherwise the server takes a free one.
if [ -n "${VORPEL_E2E_DISPLAY:-}" ]; then
    Xvfb ":$VORPEL_E2E_DISPLAY" -screen 0 1280x900x24 -nolisten tcp 2>/dev/null &
    pids+=($!)
    dnum=$VORPEL_E2E_DISPLAY
    for _ in $(seq 1 50); do xdpyinfo -display ":$dnum" >/dev/null 2>&1 && break; sleep 0.1; done
    xdpyinfo -display ":$dnum" >/dev/null 2>&1 || { echo "SKIP: Xvfb did not start"; exit 77; }
else
    exec 3< <(Xvfb -displayfd 1 -screen 0 1280x900x24 -nolisten tcp 2>/dev/null & echo "pid $!")
    read -r _ xpid <&3
    pids+=("$xpid")
    read -r -t 10 dnum <&3 || { echo "SKIP: Xvfb did not start"; exit 77; }
fi
export DISPLAY=:$dnum
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
managed=no
if command -v openbox >/dev/null; then
    openbox >"$work/openbox.log" 2>&1 &
    pids+=($!)
    managed=yes
    sleep 1
else
    echo "note: openbox is not installed; the windows run unmanaged"
fi

shot() { import -window root "$shots/$1.png" 2>/dev/null; }

# geometry WID -> X= Y= WIDTH= HEIGHT= of the window on the screen, also when a window
# manager has put it into a frame of its own.
geometry() {
    xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X/ {print "X=" $NF}
        /Absolute upper-left Y/ {print "Y=" $NF} /Width:/ {print "WIDTH=" $NF} /Height:/ {print "HEIGHT=" $NF}'
}

"$app" >"$work/app.log" 2>&1 &
app_pid=$!
pids+=($app_pid)
wid=$(xdotool search --sync --onlyvisible --name "Drop Screen" | head -1)
[ -n "$wid" ] || { echo "FAIL: no Drop Screen"; exit 1; }
eval "$(geometry "$wid")"
# Content area: the menu bar sits above the 488x512 layout.
cx=$X
cy=$((Y + HEIGHT - 512))

click() { # click X Y in screen coordinates
    xdotool mousemove "$1" "$2"; sleep 0.15; xdotool click 1; sleep 0.3
}
at() { # at CONTENT_X CONTENT_Y -> click on the Drop Screen
    click $((cx + $1)) $((cy + $2))
}

# The visible app window of the given size: panels have no title, their size tells them apart.
window_of_size() {
    local w
    for w in $(xdotool search --onlyvisible --class vorpelconverter 2>/dev/null); do
        local g
        g=$(geometry "$w")
        eval "$g"
        if [ "$WIDTH" = "$1" ] && [ "$HEIGHT" = "$2" ]; then echo "$X $Y"; return 0; fi
    done
    return 1
}
wait_window() { # wait_window W H -> "X Y"
    local i
    for i in $(seq 1 50); do window_of_size "$1" "$2" && return 0; sleep 0.1; done
    return 1
}
has_window() { wait_window "$1" "$2" >/dev/null; }
click_in() { # click_in W H X Y -> click at content X Y of the window of that size
    local pos
    pos=$(wait_window "$1" "$2") || { echo "     (no window $1x$2)"; return 1; }
    set -- $pos "$3" "$4"
    click $(($1 + $3)) $(($2 + $4))
}

drop() { # drop FILE... -> drags them from the drag source onto the drop zone
    "$drag" "$@" >"$work/drag.log" 2>&1 &
    local dp=$!
    xdotool search --sync --onlyvisible --name dragsource >/dev/null
    sleep 0.3
    xdotool mousemove 50 50; sleep 0.1
    xdotool mousedown 1; sleep 0.1
    local tx=$((cx + 240)) ty=$((cy + 70)) i
    for i in 1 2 3 4 5 6 7 8; do
        xdotool mousemove $((50 + (tx - 50) * i / 8)) $((50 + (ty - 50) * i / 8))
        sleep 0.05
    done
    sleep 0.3
    xdotool mouseup 1
    for i in $(seq 1 30); do grep -q "drop result" "$work/drag.log" && break; sleep 0.1; done
    sleep 1
    kill "$dp" 2>/dev/null
    sleep 0.2
}

wait_file() { local i; for i in $(seq 1 100); do [ -e "$1" ] && return 0; sleep 0.1; done; return 1; }

mkdir -p "$work/docs" "$work/pics" "$work/keep/locked folder"
rtf1="$work/docs/Report 'one' é.rtf"
printf '{\\rtf1\\ansi{\\fonttbl\\f0 Helvetica;}\\f0\\fs24 Hello from the \\b drop\\b0  test.\\par}\n' >"$rtf1"
printf 'Plain notes for the speech test.\n' >"$work/docs/notes.txt"
printf '\x00\x01\x02garbage' >"$work/docs/broken.rtf"
convert -size 40x30 xc:'#3366cc' "$work/pics/photo é.png" 2>/dev/null
echo secret >"$work/keep/locked folder/inside.txt"

# Document batch: drop, then TXT.
drop "$rtf1" "$work/docs/notes.txt"
shot 01-filled-list
check "a drop shows the Document panel" has_window 241 573
click_in 241 573 24 83   # TXT
sleep 0.2
shot 02-progress-or-done
check "TXT converts beside the source" wait_file "$work/docs/Report 'one' é.txt"
check "converted text is there" grep -q "Hello from the drop test" "$work/docs/Report 'one' é.txt"
sleep 0.3
shot 03-done-notice
sleep 1.5

# --- The poof, with no compositing manager: never a black area over the screen. ---
# Its window must be no larger than the cap and shaped to the smoke: an unshaped one would be
# an opaque rectangle, a translucent one a black one.
# The effect lasts half a second, less than a loaded machine needs to find and grab it: the
# app is held still (SIGSTOP) for each grab, so every grab is one made while the poof shows.
# Grabs go through import: xwd -root draws a window with a colormap of its own as black.
catch_poof() { # catch_poof NAME -> grabs of the screen and the window's shape during the poof
    local events=$work/$1.events line prev= id info n=0 k gone
    local base=$((wid & ~0x1fffff)) # the app's X resource ids share their high bits
    mkfifo "$events"
    stdbuf -oL xev -root -event substructure >"$events" 2>/dev/null &
    local xev_pid=$! until=$((SECONDS + 30))
    while ((SECONDS < until)) && read -r -t 20 line; do
        if [[ $prev == MapNotify* && $line =~ window\ (0x[0-9a-f]+),\ override\ YES ]]; then
            id=${BASH_REMATCH[1]}
            if (( (id & ~0x1fffff) == base )); then
                for k in 1 2 3 4; do
                    sleep 0.08
                    kill -STOP "$app_pid"
                    info=$(xwininfo -shape -id "$id" 2>/dev/null)
                    gone=yes
                    if [[ $info == *'"vorpel-poof'* && $info == *IsViewable* ]]; then
                        import -window root "$work/$1-$n.png" 2>/dev/null
                        echo "$info" >"$work/$1-$n.shape"
                        n=$((n + 1))
                        gone=no
                    fi
                    kill -CONT "$app_pid"
                    [ "$gone" = yes ] && break
                done
                (( n > 0 )) && break
            fi
        fi
        prev=$line
    done <"$events"
    kill "$xev_pid" 2>/dev/null
    echo "$n" >"$work/$1.frames"
}
dark_pixels() { # dark_pixels IMAGE [CROP] -> how many pixels are (nearly) black
    convert "$1" ${2:+-crop "$2" +repage} -colorspace Gray -threshold 4% -negate \
        -format '%[fx:int(mean*w*h+0.5)]' info:
}
box_of() { # box_of SHAPE_FILE -> the window's box as WxH+X+Y
    awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
         /^ *Width:/ {w = $NF} /^ *Height:/ {h = $NF} END {print w "x" h "+" x "+" y}' "$1"
}
poof_shaped() { # poof_shaped SHAPE_FILE -> the window is at most 160x160 and shaped smaller than that
    local w h sw sh
    w=$(awk '/^ *Width:/ {print $NF; exit}' "$1")
    h=$(awk '/^ *Height:/ {print $NF; exit}' "$1")
    read -r sw sh < <(sed -n 's/.*Window shape extents: *\([0-9]*\)x\([0-9]*\).*/\1 \2/p' "$1")
    echo "     poof window ${w:-?}x${h:-?}, shaped ${sw:-no}x${sh:-}"
    [ -n "$w" ] && [ -n "$sw" ] && (( w <= 160 && h <= 160 && sw * sh < w * h ))
}
no_black_poof() { # no_black_poof NAME -> in no grab is the poof's box darker than after the poof
    local n i box during after worst=0 shaped=yes
    n=$(cat "$work/$1.frames" 2>/dev/null || echo 0)
    (( n > 0 )) || { echo "     (no grab during the poof)"; return 1; }
    import -window root "$work/$1-after.png" 2>/dev/null
    for ((i = 0; i < n; i++)); do
        box=$(box_of "$work/$1-$i.shape")
        during=$(dark_pixels "$work/$1-$i.png" "$box")
        after=$(dark_pixels "$work/$1-after.png" "$box")
        echo "     grab $((i + 1)) of $n: $during black pixels in the poof's box $box, $after after it"
        (( during - after > worst )) && worst=$((during - after))
        poof_shaped "$work/$1-$i.shape" || shaped=no
    done
    # The last grab shows the smoke furthest on.
    cp "$work/$1-$((n - 1)).png" "$shots/$1.png"
    (( worst < 100 )) && [ "$shaped" = yes ]
}
if command -v xev >/dev/null; then
    catch_poof 07-poof-after-drop &
    catcher=$!
    sleep 0.5
    drop "$work/docs/notes.txt"
    wait "$catcher"
    check "the poof of a drop leaves no black area" no_black_poof 07-poof-after-drop
    catch_poof 08-poof-at-batch-end &
    catcher=$!
    sleep 0.5
    click_in 241 573 24 83   # TXT
    wait "$catcher"
    check "the poof at a batch's end leaves no black area" no_black_poof 08-poof-at-batch-end
    sleep 1
else
    echo "note: xev is not installed; the poof's shots are left out"
fi

# --- Panels stand beside the Drop Screen without covering it or each other. ---
wid_of_size() { # wid_of_size W H -> the window id of the visible app window of that size
    local w
    for w in $(xdotool search --onlyvisible --class vorpelconverter 2>/dev/null); do
        eval "$(geometry "$w")"
        if [ "$WIDTH" = "$1" ] && [ "$HEIGHT" = "$2" ]; then echo "$w"; return 0; fi
    done
    return 1
}
frame_of() { # frame_of W H -> "X Y W H" of that window with the window manager's frame
    local w l=0 r=0 t=0 b=0 ext
    w=$(wid_of_size "$1" "$2") || return 1
    eval "$(geometry "$w")"
    ext=$(xprop -id "$w" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ' ')
    [ -n "$ext" ] && IFS=, read -r l r t b <<<"$ext"
    echo "$((X - l)) $((Y - t)) $((WIDTH + l + r)) $((HEIGHT + t + b))"
}
apart() { # apart "X Y W H" "X Y W H" -> the two rectangles do not overlap
    local a=($1) b=($2)
    (( a[0] + a[2] <= b[0] || b[0] + b[2] <= a[0] || a[1] + a[3] <= b[1] || b[1] + b[3] <= a[1] ))
}
on_screen() { local a=($1); (( a[0] >= 0 && a[1] >= 0 && a[0] + a[2] <= 1280 && a[1] + a[3] <= 900 )); }
panels_apart() {
    local screen doc img aud
    screen=$(frame_of 488 "$((HEIGHT_DS))") && doc=$(frame_of 241 573) && img=$(frame_of 205 411) &&
        aud=$(frame_of 205 354) || { echo "     (a window is missing)"; return 1; }
    echo "     Drop Screen $screen, Document $doc, Image $img, Audio $aud"
    apart "$screen" "$doc" && apart "$screen" "$img" && apart "$screen" "$aud" &&
        apart "$doc" "$img" && apart "$doc" "$aud" && apart "$img" "$aud" &&
        on_screen "$doc" && on_screen "$img" && on_screen "$aud"
}
eval "$(geometry "$wid")"
HEIGHT_DS=$HEIGHT
drop "$work/docs/notes.txt"      # opens the Document panel
at 162 189                       # Images
at 254 189                       # Audio
sleep 0.5
shot 09-three-panels
check "the three panels cover neither each other nor the Drop Screen" panels_apart
at 162 189                       # Images: close
at 254 189                       # Audio: close
at 212 475                       # Remove All: the next batches start from an empty list

if [ "$quick" = yes ]; then
    [ "$failures" = 0 ] || { echo "$failures check(s) failed"; cat "$work/app.log"; exit 1; }
    echo "smoke test of $app passed"
    exit 0
fi

# Every enabled button of the Document panel, each on a fresh drop of a Word document.
mkdir -p "$work/word"
"$build/libexec/vorpelconverter/textutil" -convert docx -output "$work/word/letter.docx" "$rtf1"
for b in "TXT 24 83 txt" "RTF 73 83 rtf" "Word 122 83 doc" "Arch 172 83 webarchive" \
         "ODT 218 83 odt" "RTFD 24 147 rtfd" "XML 73 147 xml"; do
    set -- $b
    drop "$work/word/letter.docx"
    click_in 241 573 "$2" "$3"
    check "$1 converts a .docx to .$4" wait_file "$work/word/letter.$4"
    sleep 1.2
done
printf '<html><body><p>Clean <b>me</b><p>up</body></html>' >"$work/word/page.html"
drop "$work/word/page.html"
click_in 241 573 75 406    # HTML (clean-up)
check "HTML clean-up writes Untitled.html" wait_file "$work/word/Untitled.html"
sleep 1.2
drop "$work/word/page.html"
click_in 241 573 165 406   # XHTML
check "XHTML clean-up writes Untitled.xhtml" wait_file "$work/word/Untitled.xhtml"
check "the XHTML output is XHTML" grep -q 'xmlns="http://www.w3.org/1999/xhtml"' "$work/word/Untitled.xhtml"
sleep 1.2

# Remove Selected: the removed item is not converted.
drop "$work/docs/notes.txt"
at 100 255                 # first row of the list
at 50 475                  # Remove Selected
click_in 241 573 73 83     # RTF
sleep 1.5
check "a removed row is not converted" test ! -e "$work/docs/notes.rtf"

# A failing item: FAILED notice and a message listing it.
drop "$work/docs/broken.rtf"
click_in 241 573 24 83     # TXT
sleep 0.3
shot 04-failed-notice
sleep 0.8
shot 05-failure-message
xdotool key Return
sleep 1

# Image batch with the auto-name box ticked.
drop "$work/pics/photo é.png"
at 62 189                  # Documents: close the panel the drop opened
at 162 189                 # Images
click_in 205 411 24 59     # Auto Name box
click_in 205 411 42 165    # JPEG
check "image converted with the auto name" wait_file "$work/pics/photo é.png.jpeg"
sleep 1.5
at 162 189                 # Images: close

# Speech batch.
drop "$work/docs/notes.txt"
at 62 189
at 254 189                 # Audio
click_in 205 354 104 221   # To Aiff Audio
check "speech written as AIFF" wait_file "$work/docs/Untitled.aiff"
check "the AIFF has an AIFF header" grep -q AIFF "$work/docs/Untitled.aiff"
sleep 1.5
at 254 189                 # Audio: close

# Lock, then unlock a folder.
drop "$work/keep/locked folder"
at 62 189
at 345 189                 # Lock
sleep 1.5
check "Lock clears the folder's write bits" bash -c "[ \$(( 0\$(stat -c %a '$work/keep/locked folder') & 0222 )) = 0 ]"
drop "$work/keep/locked folder"
at 62 189
at 434 189                 # Unlock
sleep 1.5
check "Unlock gives the write bits back" test -w "$work/keep/locked folder" -a "$(stat -c %a "$work/keep/locked folder")" = "$(stat -c %a "$work/keep")"

# Last File Details.
drop "$work/keep/locked folder"
at 62 189
at 367 475                 # Last File Details
check "the details window opens" has_window 327 233
shot 06-file-details
click_in 327 233 163 213   # Close

# --- Outputs of one name and drops during a batch -----------------------------------------

# Three images of one folder under the name left at "Untitled": three files, none lost.
check_numbered_outputs() {
    mkdir -p "$work/three"
    local c
    for c in red green blue; do convert -size 30x20 xc:$c "$work/three/$c.png" 2>/dev/null; done
    at 212 475                 # Remove All: Last File Details left its items listed
    drop "$work/three/red.png" "$work/three/green.png" "$work/three/blue.png"
    at 62 189                  # Documents: close the panel the drop opened
    at 162 189                 # Images: a fresh panel, "Untitled"
    click_in 205 411 42 165    # JPEG
    check "the first image keeps the plain name" wait_file "$work/three/Untitled.jpeg"
    check "the second image gets a numbered name" wait_file "$work/three/Untitled 2.jpeg"
    check "the third image gets the next number" wait_file "$work/three/Untitled 3.jpeg"
    check "no fourth output" test ! -e "$work/three/Untitled 4.jpeg"
    sleep 1.5
    at 162 189                 # Images: close
}

# A file dropped while a batch runs is not thrown away: it is listed for the next batch.
check_drop_during_batch() {
    mkdir -p "$work/big" "$work/late"
    local i
    # Large pictures, 0.15 s each for a fast engine: 64 of them outlast a drag (4 to 6 s).
    local big=() n=64
    convert -size 5000x5000 xc:'#3366cc' "$work/big/big 1.png" 2>/dev/null
    for i in $(seq 1 $n); do
        [ "$i" = 1 ] || cp "$work/big/big 1.png" "$work/big/big $i.png"
        big+=("$work/big/big $i.png")
    done
    convert -size 30x20 xc:orange "$work/late/late.png" 2>/dev/null
    drop "${big[@]}"
    at 62 189                  # Documents: close
    at 162 189                 # Images
    click_in 205 411 42 165    # JPEG
    drop "$work/late/late.png"
    check "the drop during the batch is taken" grep -q "drop result [12]" "$work/drag.log"
    check "the drop was made while the batch ran" test ! -e "$work/big/Untitled $n.jpeg"
    for i in $(seq 1 1200); do [ -e "$work/big/Untitled $n.jpeg" ] && break; sleep 0.1; done
    check "the batch converts all its pictures" test -e "$work/big/Untitled $n.jpeg"
    sleep 1
    shot 07-drop-during-batch-listed
    check "the batch did not take the late drop" test ! -e "$work/late/Untitled.jpeg"
    sleep 2
    at 62 189                  # Documents: close the panel the held drop opened
    click_in 205 411 42 165    # JPEG again: the late item is in the list
    check "the late drop is converted by the next batch" wait_file "$work/late/Untitled.jpeg"
    sleep 1.5
    at 162 189                 # Images: close
}

check_numbered_outputs
check_drop_during_batch

kill -0 "$app_pid" 2>/dev/null
check "the app is still running" test $? -eq 0

# Closing the Drop Screen with a panel open: the program stays, Ctrl+N in the panel brings a
# new, empty Drop Screen, and closing the last window ends the program.
app_gone() { local i; for i in $(seq 1 50); do kill -0 "$app_pid" 2>/dev/null || return 0; sleep 0.1; done; return 1; }
screen_shown() { xdotool search --sync --onlyvisible --name "Drop Screen" 2>/dev/null | head -1; }
check_last_window_quits() {
    local panel screen
    at 62 189                  # Documents: the panel
    has_window 241 573 || { check "the Document panel opens" false; return; }
    panel=$(wid_of_size 241 573)
    xdotool windowactivate --sync "$wid" key --clearmodifiers alt+F4
    sleep 1
    check "closing the Drop Screen with a panel open keeps the program" kill -0 "$app_pid"
    check "the Drop Screen is gone" bash -c "! xdotool search --onlyvisible --name 'Drop Screen' >/dev/null"
    xdotool windowactivate --sync "$panel" key --clearmodifiers ctrl+n
    sleep 1
    screen=$(timeout 5 bash -c "$(declare -f screen_shown); screen_shown")
    check "Ctrl+N in the panel opens a new Drop Screen" test -n "$screen"
    shot 10-new-drop-screen
    [ -n "$screen" ] && xdotool windowactivate --sync "$screen" key --clearmodifiers alt+F4
    sleep 0.5
    xdotool windowactivate --sync "$panel" key --clearmodifiers alt+F4
    check "closing the last window ends the program" app_gone
}
check_last_window_quits
echo "screenshots in $shots"
[ "$failures" = 0 ] || { echo "$failures check(s) failed; app log:"; cat "$work/app.log"; exit 1; }
echo "all end-to-end checks passed"
