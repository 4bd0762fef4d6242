#!/usr/bin/env bash
# Starts the real program under Xvfb, with Qt's X11 platform and a window
# manager, from a fresh install with a sample list in its data folder, and
# saves screenshots of the main window, the dialog and the result message.
#
#     scripts/schermate.sh [SCALE [FOLDER]]   # 1 and docs/ unless given
#
# The program sees exactly the fonts that ./run installs: the tools below
# bring fonts of their own (ImageMagick's Ghostscript), so fontconfig is
# given only the files of ./run's font packages.
FENDRIX_EXTRA_PACKAGES="xvfb xauth x11-utils x11-xserver-utils openbox xdotool imagemagick"
source "$(dirname "$0")/prepara.sh"
costruisci fendrix

scala="${1:-1}"
uscita="$(realpath -m "${2:-$FENDRIX_ROOT/docs}")"
px() { echo $(( $1 * scala )); }  # window coordinates at the chosen scale

# A short, friendly path: the dialog shows the chain of folders down to it.
lavoro=/tmp/Documenti
[ -e "$lavoro" ] && { echo "$lavoro exists already; remove it first" >&2; exit 1; }
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$lavoro"' EXIT
cmake --install "$FENDRIX_BUILD" --prefix "$lavoro/Fendrix" >/dev/null
printf '12 34 56 71 88\r\n05 17 23 44 90\r\n12 34 56 71 88\r\n' > "$lavoro/Fendrix/Shared/Sistemi/estrazioni.txt"
printf '1,2,3\r\n' > "$lavoro/Fendrix/Shared/Sistemi/sistema ridotto.txt"
mkdir -p "$lavoro/Fendrix/Shared/Sistemi/Archivio"

caratteri="$lavoro/caratteri"
mkdir -p "$caratteri/file"
dpkg -L "${FENDRIX_FONTS[@]}" | grep -E '\.(ttf|otf)$' | xargs -I{} ln -s {} "$caratteri/file/"
cat > "$caratteri/fonts.conf" <<FINE
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig><dir>$caratteri/file</dir><cachedir>$caratteri/cache</cachedir></fontconfig>
FINE

export DISPLAY=:97
Xvfb "$DISPLAY" -screen 0 "$(px 1000)x$(px 640)x24" -nolisten tcp >/dev/null 2>&1 &
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xsetroot -solid '#3a6ea5' 2>/dev/null || true
openbox >/dev/null 2>&1 &
sleep 1

FONTCONFIG_FILE="$caratteri/fonts.conf" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR="$scala" \
    "$lavoro/Fendrix/fendrix" >/dev/null 2>&1 &

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

mkdir -p "$uscita"
principale=$(finestra 'by Quorvanta')
foto "$principale" "$uscita/finestra-principale.png"

# Real key presses through XTEST reach the focused window.
xdotool windowfocus --sync "$principale" key space
dialogo=$(finestra 'Seleziona file')
sleep 0.5
# Click the first listed file: the file list starts 190 px down the dialog.
xdotool mousemove --window "$dialogo" "$(px 60)" "$(px 200)" click 1
foto "$dialogo" "$uscita/dialogo-selezione.png"

# Tab from the file list, past the disabled name box, to OK; Enter presses it.
xdotool windowfocus --sync "$dialogo" key Tab Return
messaggio=$(finestra '^Fendrix$')
foto "$messaggio" "$uscita/messaggio.png"
xdotool windowfocus --sync "$messaggio" key Return
sleep 0.5
echo "Copy written:"; od -c "$lavoro/Fendrix/Shared/Sistemi/NEW - ESTRAZIONI.TXT" | head
echo "Screenshots in $uscita/"
