#!/usr/bin/env bash
# Builds and tests Fendrix as a new user would on Debian 13 (trixie): a
# minimal system made with debootstrap from the Debian archive that this
# machine's own apt sources name, the committed project cloned into it, and
# the README's ./test run inside, as root, in a chroot.
#
# The pristine base system is kept in build-debian13/base (ignored by git)
# and copied afresh for every run, so each run installs the packages the way
# a new user does; downloaded packages are kept in build-debian13/apt.
# The chroot's mounts live in a mount namespace of their own and its
# processes in a PID namespace that dies with this script, so nothing stays
# mounted after a failure, an interrupt or a kill.
#
#   scripts/debian13.sh               # build the base if missing, then ./test
#   scripts/debian13.sh --nuovo       # make the base system again first
#   scripts/debian13.sh --completo    # also the fuzz targets and the sanitizer
#                                     # suite (Debian 13's Clang), as .ci/run does
set -euo pipefail

RADICE_PROGETTO="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
LAVORO="${FENDRIX_DEBIAN13:-$RADICE_PROGETTO/build-debian13}"
BASE="$LAVORO/base"
SISTEMA="$LAVORO/sistema"
VERSIONE=trixie

[ "$(id -u)" -eq 0 ] || { echo "debian13.sh: needs root (debootstrap, chroot, mounts)" >&2; exit 1; }

mancanti=()
for p in debootstrap git; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || mancanti+=("$p")
done
if [ ${#mancanti[@]} -gt 0 ]; then
    echo "Installing: ${mancanti[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${mancanti[@]}"
fi

# The Debian archive this machine installs from: the first source whose
# address ends in /debian (the security and third-party archives do not).
archivio() {
    local f u
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -e "$f" ] || continue
        for u in $(sed -n 's/^URIs:[[:space:]]*//p' "$f"); do
            [[ "$u" =~ /debian/?$ ]] && { echo "${u%/}"; return; }
        done
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -e "$f" ] || continue
        u=$(awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i !~ /^\[/ && $i !~ /\]$/) { print $i; break } }' "$f" |
            grep -E '/debian/?$' | head -n1 || true)
        [ -n "$u" ] && { echo "${u%/}"; return; }
    done
    return 1
}
ARCHIVIO="$(archivio)" || { echo "debian13.sh: no Debian archive in /etc/apt's sources" >&2; exit 1; }

# Refuses to delete a folder under which anything is mounted.
rimuovi() {
    if findmnt -rn -o TARGET | grep -q "^$1\(/\|$\)"; then
        echo "debian13.sh: something is still mounted under $1; not removing it" >&2
        exit 1
    fi
    rm -rf --one-file-system "$1"
}

nuovo=0
COMANDO="./test"
for a in "$@"; do
    case "$a" in
        --nuovo) nuovo=1 ;;
        --completo) COMANDO="./test && scripts/fuzz.sh 10 && scripts/sanitizzati.sh" ;;
        *) echo "debian13.sh: unknown argument $a" >&2; exit 2 ;;
    esac
done

mkdir -p "$LAVORO" "$LAVORO/apt"
if [ "$nuovo" -eq 1 ] || [ ! -e "$BASE/.completo" ]; then
    rimuovi "$BASE"
    echo "Making a minimal Debian $VERSIONE system from $ARCHIVIO"
    debootstrap --variant=minbase "$VERSIONE" "$BASE" "$ARCHIVIO" >"$LAVORO/debootstrap.log" 2>&1 ||
        { tail -n 20 "$LAVORO/debootstrap.log" >&2; exit 1; }
    touch "$BASE/.completo"
fi

rimuovi "$SISTEMA"
cp -a "$BASE" "$SISTEMA"
cp /etc/resolv.conf "$SISTEMA/etc/resolv.conf" 2>/dev/null || true
git clone --quiet "$RADICE_PROGETTO" "$SISTEMA/root/fendrix"
echo "Debian $VERSIONE: $COMANDO on a clone of $(git -C "$RADICE_PROGETTO" rev-parse --short HEAD)"

# In new mount and PID namespaces: the mounts vanish with them, and
# --kill-child ends every process inside when this script ends.
esito=0
unshare --mount --pid --fork --kill-child --propagation private \
    env SISTEMA="$SISTEMA" APT="$LAVORO/apt" COMANDO="$COMANDO" bash -euc '
        mount -t proc proc "$SISTEMA/proc"
        mount --rbind /sys "$SISTEMA/sys"
        mount --rbind /dev "$SISTEMA/dev"
        mount -t tmpfs -o mode=1777 tmpfs "$SISTEMA/dev/shm"
        mount --bind "$APT" "$SISTEMA/var/cache/apt/archives"
        exec chroot "$SISTEMA" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
            PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
            /bin/bash -c "cd /root/fendrix && $COMANDO"
    ' || esito=$?

rimuovi "$SISTEMA"
if [ "$esito" -ne 0 ]; then
    echo "debian13.sh: $COMANDO failed on Debian $VERSIONE (exit $esito)" >&2
    exit "$esito"
fi
echo "debian13.sh: $COMANDO passed on Debian $VERSIONE"
