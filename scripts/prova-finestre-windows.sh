#!/usr/bin/env bash
# Drives fendrix.exe under Wine on a private X server (Xvfb, with openbox as
# the window manager) with real clicks and keys, as a user would, and
# checks what the windows show (read from them by finestre.exe) and what
# the program leaves in its data folder.
#
#   prova-finestre-windows.sh BUILD_WINDOWS [--schermate FOLDER]
#
# FENDRIX_CASI=PATTERN runs only the cases whose names match it.
# Every case runs a fresh copy of fendrix.exe in a temporary folder of its
# own, with its own Shared\Sistemi, so the build is never touched. With
# --schermate, the layout is also checked at 144 DPI and PNGs of the main
# window, the dialog and a message are saved at 96 and 144 DPI.
#
# Wine runs in a prefix of this script's own beside the build's: a prefix
# whose desktop process was started by a test without a display (the other
# Windows tests share the build's) shows no windows on the X server.
set -uo pipefail

build=$(realpath "$1")
schermate=""
if [ "${2:-}" = --schermate ]; then
    schermate=$(realpath -m "${3:?--schermate needs a folder}")
    command -v import >/dev/null || { echo "import not found: install the Debian package imagemagick" >&2; exit 1; }
fi
programma="$build/fendrix.exe"
finestre="$build/tests/windows/finestre.exe"
for f in "$programma" "$finestre"; do
    [ -f "$f" ] || { echo "missing: $f" >&2; exit 1; }
done
export WINEDEBUG=-all WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}" LC_ALL=C.UTF-8

PRINCIPALE="  by Quorvanta"
DIALOGO=" Seleziona file .TXT"
MESSAGGIO="Fendrix"

# The screenshots show a short, friendly folder chain in the dialog.
if [ -n "$schermate" ]; then
    lavoro=/tmp/Documenti
    mkdir "$lavoro" || { echo "$lavoro exists already; remove it first" >&2; exit 1; }
else
    lavoro=$(mktemp -d /tmp/fendrix-finestre.XXXXXX)
fi
prefissi=()        # the prefixes whose Wine processes are this run's
protette=()        # files and folders made write-protected, given back at the end
in_corso=""        # the pid of the running fendrix.exe
xvfb="" openbox=""
pulisci() {
    [ -n "$in_corso" ] && kill "$in_corso" 2>/dev/null
    for p in "${prefissi[@]}"; do WINEPREFIX="$p" wineserver -k 2>/dev/null; done
    for c in "${protette[@]}"; do chattr -i "$c" 2>/dev/null; chmod u+w "$c" 2>/dev/null; done
    [ -n "$openbox" ] && kill "$openbox" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$lavoro"
}
trap pulisci EXIT
trap 'exit 130' INT TERM

# --- The X server, its window manager and Wine -----------------------------

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$lavoro/schermo" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$lavoro/schermo" ] && break; sleep 0.1; done
[ -s "$lavoro/schermo" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$lavoro/schermo")"
openbox --sm-disable >/dev/null 2>&1 &
openbox=$!
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.1; done

prefisso() {  # DPI: makes (once) and uses the prefix for that DPI
    local p="$build/wine-finestre"
    [ "$1" = 96 ] || p="$build/wine-finestre-$1"
    if [ ! -f "$p/system.reg" ]; then
        rm -rf "$p"
        if [ "$1" = 96 ]; then
            WINEPREFIX="$p" wineboot --init >/dev/null 2>&1
        else
            prefisso 96 && cp -a "$build/wine-finestre" "$p"
        fi
        WINEPREFIX="$p" wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
        WINEPREFIX="$p" wineserver -w
    fi
    export WINEPREFIX="$p"
    prefissi+=("$p")
}

# --- Looking and acting -------------------------------------------------------

fallimenti=0
caso=""
male() { echo "FAILED [$caso]: $*"; fallimenti=$((fallimenti + 1)); }

vedi() { wine "$finestre" "$@" 2>/dev/null | tr -d '\r'; }
x11() {  # window title: its X window
    local modello
    case "$1" in
        "$PRINCIPALE") modello='^  by Quorvanta$' ;;
        "$DIALOGO") modello='^ Seleziona file \.TXT$' ;;
        *) modello="^$1\$" ;;
    esac
    xdotool search --onlyvisible --name "$modello" 2>/dev/null | tail -n 1
}
# twips TITLE LEFT TOP [WIDTH HEIGHT]: the screen point (centre of the box,
# or its corner) of a box in the window's client area, at the window's DPI
twips() {
    local x y w h dpi
    read -r x y w h dpi < <(vedi rettangolo "$1") || return 1
    if [ $# -eq 5 ]; then
        echo $((x + ($2 + $4 / 2) * dpi / 1440)) $((y + ($3 + $5 / 2) * dpi / 1440))
    else
        echo $((x + $2 * dpi / 1440)) $((y + $3 * dpi / 1440))
    fi
}
clic() {  # X Y [COUNT]; mousemove --sync waits long for a pointer already there
    [ "$1" -ge 0 ] && [ "$2" -ge 0 ] || { male "no point $1,$2 to click"; return; }
    [ "$(xdotool getmouselocation | cut -d' ' -f1-2)" = "x:$1 y:$2" ] || xdotool mousemove --sync "$1" "$2"
    xdotool click --repeat "${3:-1}" --delay 80 1
}
tasto() {  # to the dialog when it is open, else to the main window
    local w
    w=$(x11 "$DIALOGO")
    [ -n "$w" ] || w=$(x11 "$PRINCIPALE")
    [ -n "$w" ] || { male "no window for key $1"; return; }
    xdotool windowfocus --sync "$w" key "$1"
    sleep 0.2
}
premi() {  # TITLE KEY: presses KEY in that window until it closes (a window
    # just shown may not take keys yet); fails if it stays open. The window
    # is told by its X window: the next message may have the same title.
    local w
    w=$(x11 "$1")
    [ -n "$w" ] || return 1
    for _ in 1 2 3; do
        sleep 0.3
        xdotool windowfocus --sync "$w" key "$2" 2>/dev/null
        for _ in $(seq 20); do
            xdotool search --onlyvisible --name . 2>/dev/null | grep -qx "$w" || return 0
            sleep 0.1
        done
    done
    return 1
}
voce() {  # list ID, item: clicks the item (COUNT clicks)
    local x y w h
    read -r x y w h < <(vedi voce "$DIALOGO" "$1" "$2") || { male "no item '$2' in list $1"; return 1; }
    clic $((x + (w < 40 ? w / 2 : 20))) $((y + h / 2)) "${3:-1}"
    sleep 0.3
}
chiudi() {  # clicks the close box that the window manager draws
    local w s d a b x y l
    w=$(x11 "$1")
    [ -n "$w" ] || { male "no window '$1' to close"; return; }
    read -r s d a b < <(xprop -id "$w" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
    read -r x y l _ < <(vedi rettangolo "$1")
    clic $((x + l + d - 11)) $((y - a / 2))
}
# box TITLE ID LEFT TOP WIDTH HEIGHT: the control sits where its twips put
# it, to within the pixel that rounding may take or give on each side
box() {
    local x y w h dpi cx cy cw ch i d
    read -r x y w h dpi < <(vedi rettangolo "$1")
    read -r cx cy cw ch < <(vedi rettangolo "$1" "$2") || { male "no control $2 in '$1'"; return; }
    local atteso=($(($3 * dpi / 1440)) $(($4 * dpi / 1440)) $(($5 * dpi / 1440)) $(($6 * dpi / 1440)))
    local visto=($((cx - x)) $((cy - y)) "$cw" "$ch")
    for i in 0 1 2 3; do
        d=$((visto[i] - atteso[i]))
        [ ${d#-} -le 2 ] && continue
        male "control $2 of '$1' at ${visto[*]} px (left top width height), its twips give ${atteso[*]} at $dpi DPI"
        return
    done
}
client() {  # TITLE WIDTH HEIGHT: the client area's size in twips
    local x y w h dpi
    read -r x y w h dpi < <(vedi rettangolo "$1") || { male "no window '$1'"; return; }
    local ew=$(($2 * dpi / 1440)) eh=$(($3 * dpi / 1440))
    [ $((w - ew)) -le 2 ] && [ $((ew - w)) -le 2 ] && [ $((h - eh)) -le 2 ] && [ $((eh - h)) -le 2 ] ||
        male "'$1' has a client area of ${w}x${h} px, not ${ew}x${eh} at $dpi DPI"
}

# One step of a case (see the cases below).
passo() {
    local p="$1" a b
    case "$p" in
        bottone)
            read -r a b < <(twips "$PRINCIPALE" 390 570 2175 2055) && clic "$a" "$b"
            vedi attendi "$DIALOGO" 10 || male "the picture button opened no dialog" ;;
        ok)
            read -r a b < <(twips "$DIALOGO" 2610 6270 1215 375) && clic "$a" "$b"
            vedi assente "$DIALOGO" 5 || male "OK left the dialog open" ;;
        chiudi)
            chiudi "$DIALOGO"
            vedi assente "$DIALOGO" 5 || male "the close box left the dialog open" ;;
        tasto:*) tasto "${p#tasto:}" ;;
        clic:*) voce 202 "${p#clic:}" ;;
        apri:*) voce 201 "${p#apri:}" 2 ;;
        nome:*)
            a=$(vedi controllo "$DIALOGO" 203)
            [ "$a" = "disabilitato	${p#nome:}" ] || male "the name box shows '$a', not a disabled '${p#nome:}'" ;;
        elenco:*)
            a=$(vedi voci "$DIALOGO" 202 | paste -sd /)
            [ "$a" = "${p#elenco:}" ] || male "the file list holds '$a', not '${p#elenco:}'" ;;
        cartelle:*)  # the last folders of the chain shown in the folder list
            a=$(vedi voci "$DIALOGO" 201 | paste -sd /)
            [[ "/$a/" == *"/${p#cartelle:}/"* ]] || male "the folder list holds '$a', without '${p#cartelle:}'" ;;
        protetta)  # neither the data folder nor a file in it can be written
            for a in "$dati" "$dati"/*; do
                protette+=("$a")
                if [ "$(id -u)" = 0 ]; then chattr +i "$a"; else chmod a-w "$a"; fi || male "cannot write-protect $a"
            done ;;
        disposizione)
            client "$PRINCIPALE" 7185 3060
            box "$PRINCIPALE" 101 390 570 2175 2055
            passo bottone
            client "$DIALOGO" 6255 6825
            box "$DIALOGO" 201 240 150 5745 2400
            box "$DIALOGO" 202 240 2850 5775 2790
            box "$DIALOGO" 203 240 5760 5805 315
            box "$DIALOGO" 1 2610 6270 1215 375
            a=$(vedi proprietario "$DIALOGO")
            [ "$a" = "$PRINCIPALE" ] || male "the dialog's owner is '$a', not the main window" ;;
        foto:*:*)  # foto:WINDOW:NAME.png, WINDOW principale, dialogo or messaggio
            a=${p#foto:}; b=${a#*:}; a=${a%%:*}
            case "$a" in principale) a=$PRINCIPALE ;; dialogo) a=$DIALOGO ;; *) a=$MESSAGGIO ;; esac
            vedi attendi "$a" 10 || { male "no window '$a' for $b"; return; }
            sleep 0.5
            mkdir -p "$schermate"
            import -frame -window "$(x11 "$a")" "$schermate/$b" || male "no screenshot $b" ;;
        *) male "unknown step '$p'" ;;
    esac
}

impronte() {  # "MD5 NAME" for each file of the data folder, hidden ones too
    (cd "$dati" && find . -maxdepth 1 -type f -printf '%P\n' | sort |
        while IFS= read -r f; do echo "$(md5sum < "$f" | cut -c1-32) $f"; done)
}

# esegui NAME DPI FILES STEPS MESSAGES COPY EXIT
#   FILES    the data folder's files, NAME=BYTES (printf escapes; NAME may
#            lie in a subfolder), ';' between
#   STEPS    ';' between: bottone (click the picture button at its twips),
#            ok (click OK), chiudi (the dialog's close box), tasto:KEY (to the
#            dialog, else to the main window), clic:FILE, apri:FOLDER (double
#            click in the folder list), nome:TEXT (the name box), elenco:A/B
#            (the file list), cartelle:A/B, protetta, disposizione, foto:WINDOW:PNG
#   MESSAGES the messages expected after the steps, in turn, each ICON:TEXT
#            (ICON errore, avviso or *; TEXT a pattern), ';' between; '-' for none
#   COPY     NAME=BYTES of the copy the data folder must gain, '-' for none
#   EXIT     the program's exit status; 0: it is closed through its close box
esegui() {
    local dpi=$2 file=$3 passi=$4 messaggi=$5 copia=$6 uscita=$7
    caso=$1
    [[ "$caso" == ${FENDRIX_CASI:-*} ]] || return 0
    local da=$SECONDS
    prefisso "$dpi"
    local cartella="$lavoro/$caso"
    if [ -n "$schermate" ]; then
        cartella="$lavoro/Fendrix"
        rm -rf "$cartella"
    fi
    dati="$cartella/Shared/Sistemi"
    mkdir -p "$dati"
    cp "$programma" "$cartella/"
    local f IFS=';'
    for f in $file; do
        f="${f# }"; f="${f% }"
        [ -n "$f" ] && mkdir -p "$(dirname "$dati/${f%%=*}")" && printf "${f#*=}" > "$dati/${f%%=*}"
    done
    unset IFS
    local prima dopo
    prima=$(impronte)

    (cd "$cartella" && exec wine fendrix.exe >/dev/null 2>&1) &
    in_corso=$!
    if ! vedi attendi "$PRINCIPALE" 30; then
        male "the main window did not appear"
        kill "$in_corso"; in_corso=""
        return
    fi
    sleep 0.3
    local p
    IFS=';' read -r -a p <<< "$passi"
    local t
    for f in "${p[@]}"; do
        f="${f# }"; f="${f% }"
        t=$SECONDS
        passo "$f"
        [ $((SECONDS - t)) -lt 4 ] || echo "slow step [$caso]: '$f' took $((SECONDS - t)) s"
    done

    if [ "$messaggi" = - ]; then
        vedi attendi "$MESSAGGIO" 1 && male "a message appeared: $(vedi messaggio "$MESSAGGIO" | paste -sd ' ')"
    else
        local m visto
        IFS=';' read -r -a m <<< "$messaggi"
        for f in "${m[@]}"; do
            f="${f# }"
            if ! vedi attendi "$MESSAGGIO" 10; then
                male "no message '${f#*:}'"
                break
            fi
            visto=$(vedi messaggio "$MESSAGGIO")
            [[ "${visto#*$'\n'}" == ${f#*:} ]] || male "the message says '${visto#*$'\n'}', not '${f#*:}'"
            [[ "${visto%%$'\n'*}" == ${f%%:*} ]] || male "the message has the icon '${visto%%$'\n'*}', not '${f%%:*}'"
            premi "$MESSAGGIO" Return || male "Enter left the message open"
        done
    fi

    if [ "$uscita" = 0 ]; then
        vedi attendi "$PRINCIPALE" 1 && chiudi "$PRINCIPALE"
    fi
    local fine=0 stato
    for _ in $(seq 200); do kill -0 "$in_corso" 2>/dev/null || { fine=1; break; }; sleep 0.1; done
    if [ $fine = 0 ]; then
        male "the program did not end"
        kill "$in_corso"
    fi
    wait "$in_corso"; stato=$?
    in_corso=""
    [ "$stato" = "$uscita" ] || male "the program ended with status $stato, not $uscita"

    for c in "${protette[@]}"; do chattr -i "$c" 2>/dev/null; chmod u+w "$c" 2>/dev/null; done
    protette=()
    if [ "$copia" != - ]; then
        local nome="${copia%%=*}"
        if [ -f "$dati/$nome" ]; then
            cmp -s <(printf "${copia#*=}") "$dati/$nome" ||
                male "'$nome' holds: $(od -An -c "$dati/$nome" | tr -s ' \n' ' ' | head -c 300)"
        else
            male "no copy '$nome'"
        fi
        prima=$( (awk -v n="$nome" 'substr($0, 34) != n' <<< "$prima"
                  echo "$(printf "${copia#*=}" | md5sum | cut -c1-32) $nome") | sed '/^$/d' | sort)
    fi
    dopo=$(impronte)
    [ "$(sort <<< "$prima")" = "$(sort <<< "$dopo")" ] ||
        male "the data folder holds: $(cut -c34- <<< "$dopo" | paste -sd '|'), expected: $(cut -c34- <<< "$prima" | paste -sd '|')"
    echo "done: $caso ($((SECONDS - da)) s)"
}

# --- The cases ----------------------------------------------------------------

R1="errore:Eliminate 1  combinazioni ripetute..! "
R3="errore:Eliminate 3  combinazioni ripetute..! "
NR="avviso:Il file non ha combinazioni ripetute..! "
inizio=$SECONDS
if [ -z "$schermate" ]; then
    esegui disposizione 96 'a.txt=x' 'disposizione; cartelle:Shared/Sistemi; tasto:Escape' - - 0
    esegui ripetute 96 'prova.txt=b,a\r\n b \r\nA\r\n10\n9\n' \
        'bottone; clic:prova.txt; nome:PROVA.TXT; ok' "$R1" 'NEW - PROVA.TXT=10\r\n9\r\nA\r\na\r\nb\r\n' 0
    esegui senza-ripetute 96 'prova.txt=uno\r\ndue\r\n' 'bottone; clic:prova.txt; ok' "$NR" - 0
    esegui filtro 96 'b.TXT=1;a.txt=1\n1;C.Txt=1;nota.doc=1;x.txt.bak=1;Archivio.txt=1' \
        'bottone; elenco:a.txt/Archivio.txt/b.TXT/C.Txt; clic:b.TXT; clic:a.txt; nome:A.TXT; ok' "$R1" 'NEW - A.TXT=1\r\n' 0
    # A file in a subfolder: the copy still goes to the data folder, and the
    # dialog opens again in the folder last shown, however it was closed.
    esegui sottocartella 96 'prova.txt=x;Archivio/vecchio.txt=c\nc\n;Archivio/Altro/a.txt=1' \
        'bottone; apri:Archivio; elenco:vecchio.txt; cartelle:Sistemi/Archivio/Altro; chiudi; bottone; elenco:vecchio.txt; clic:vecchio.txt; nome:VECCHIO.TXT; ok' \
        "$R1" 'NEW - VECCHIO.TXT=c\r\n' 0
    esegui ok-senza-file 96 'prova.txt=a\na\n' 'bottone; ok' - - 0
    esegui chiusura 96 'prova.txt=a\na\n' 'bottone; clic:prova.txt; chiudi' - - 0
    esegui escape 96 'prova.txt=a\na\n' 'tasto:Return; clic:prova.txt; tasto:Escape' - - 0
    esegui accenti 96 'città perché.txt=y\r\nx\r\ny\r\n' \
        'bottone; clic:città perché.txt; nome:CITTÀ PERCHÉ.TXT; ok' "$R1" 'NEW - CITTÀ PERCHÉ.TXT=x\r\ny\r\n' 0
    esegui tastiera 96 'b.txt=1;a.txt=z\nz\nz\nz\n' 'tasto:space; tasto:Tab; tasto:Down; nome:A.TXT; tasto:Return' \
        "$R3" 'NEW - A.TXT=z\r\n' 0
    # Enter in the folder list opens the folder selected with the arrows.
    esegui tastiera-cartella 96 'prova.txt=x;Archivio/vecchio.txt=c\nc\n' \
        'tasto:Return; tasto:Down; tasto:Return; elenco:vecchio.txt; tasto:Tab; tasto:Down; nome:VECCHIO.TXT; tasto:Return' \
        "$R1" 'NEW - VECCHIO.TXT=c\r\n' 0
    # The copy cannot be written: the run-time error after the count, and
    # the earlier copy as it was.
    esegui sola-lettura 96 'prova.txt=b\nb\n;NEW - PROVA.TXT=vecchia\r\n' 'protetta; bottone; clic:prova.txt; ok' \
        "$R1;*:Errore di run-time '70':*" - 70
else
    for dpi in 96 144; do
        esegui "schermate-$dpi" "$dpi" 'estrazioni.txt=12 34 56\r\n05 17 23\r\n12 34 56\r\n;sistema ridotto.txt=1,2,3\r\n' \
            "disposizione; tasto:Escape; foto:principale:principale-$dpi.png; bottone; clic:estrazioni.txt; foto:dialogo:dialogo-$dpi.png; ok; foto:messaggio:messaggio-$dpi.png" \
            "$R1" 'NEW - ESTRAZIONI.TXT=05 17 23\r\n12 34 56\r\n' 0
    done
fi
echo "$((SECONDS - inizio)) s, $fallimenti failed checks"
[ "$fallimenti" = 0 ]
