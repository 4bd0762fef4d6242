#!/usr/bin/env bash
# Starts the real program under Xvfb, with Qt's X11 platform and a window
# manager, from a fresh install with a sample list in its data folder, and
# saves screenshots of the main window, the dialog and the result message
# into docs/.
FENDRIX_EXTRA_PACKAGES="xvfb xauth openbox xdotool imagemagick fonts-open-sans"
source "$(dirname "$0")/prepara.sh"
costruisci

# A short, friendly path: the dialog shows the chain of folders down to it.
lavoro=/tmp/Documenti
[ -e "$lavoro" ] && { echo "$lavoro exists already; remove it first" >&2; exit 1; }
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$lavoro"' EXIT
cmake --install "$FENDRIX_BUILD" --prefix "$lavoro/Fendrix" >/dev/null
printf '12 34 56 71 88\r\n05 17 23 44 90\r\n12 34 56 71 88\r\n' > "$lavoro/Fendrix/Shared/Sistemi/estrazioni.txt"
printf '1,2,3\r\n' > "$lavoro/Fendrix/Shared/Sistemi/sistema ridotto.txt"
mkdir -p "$lavoro/Fendrix/Shared/Sistemi/Archivio"

export DISPLAY=:97
Xvfb "$DISPLAY" -screen 0 1000x640x24 -nolisten tcp >/dev/null 2>&1 &
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xsetroot -solid '#3a6ea5' 2>/dev/null || true
openbox >/dev/null 2>&1 &
sleep 1

QT_QPA_PLATFORM=xcb "$lavoro/Fendrix/fendrix" >/dev/null 2>&1 &

finestra() {  # waits for a window whose title matches $1, prints its id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -n 1) && [ -n "$id" ] && { echo "$id"; return; }
        sleep 0.1
    done
    echo "no window '$1'" >&2; exit 1
}
foto() {  # window id, file: the window with its frame
    sleep 0.6
    import -frame -window "$1" "$2"
}

mkdir -p "$FENDRIX_ROOT/docs"
principale=$(finestra 'by Quorvanta')
foto "$principale" "$FENDRIX_ROOT/docs/finestra-principale.png"

xdotool windowactivate --sync "$principale" key space
dialogo=$(finestra 'Seleziona file')
sleep 0.5
# Click the first listed file: the file list starts 190 px down the dialog.
eval "$(xdotool getwindowgeometry --shell "$dialogo")"
xdotool mousemove $((X + 60)) $((Y + 182)) click 1
foto "$dialogo" "$FENDRIX_ROOT/docs/dialogo-selezione.png"

xdotool mousemove $((X + 208)) $((Y + 410)) click 1
messaggio=$(finestra '^Fendrix$')
foto "$messaggio" "$FENDRIX_ROOT/docs/messaggio.png"
xdotool key Return
sleep 0.5
echo "Copy written:"; od -c "$lavoro/Fendrix/Shared/Sistemi/NEW - ESTRAZIONI.TXT" | head
echo "Screenshots in $FENDRIX_ROOT/docs/"
