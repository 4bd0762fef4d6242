#!/usr/bin/env bash
# Runs the Windows fendrix-bench.exe under Wine and the Linux fendrix-bench
# on the same lists and compares, list by list, the counts they print and
# the copies they write (byte for byte; a list without repeats must give no
# copy on either side).
#
#   differenziale.sh LINUX_BENCH LINUX_GEN WINDOWS_BENCH FOLDER
set -euo pipefail
linux=$1 gen=$2 windows=$3 cartella=$4
rm -rf "$cartella"
mkdir -p "$cartella/liste" "$cartella/grandi"
cd "$cartella/liste"

# Random lists: letter case, spaces to trim, blank lines, empty fields,
# quotes (also left open), commas, CR, LF and CR LF, with and without a
# final line end; fixed seeds, so a failure can be run again.
for seme in $(seq 1 24); do
    awk -v seme="$seme" 'BEGIN {
        srand(seme)
        n = split("a A b B ab AB abc ABC 1 10 9 \"a\" \"a,b\" \"x  ", pezzi, " ")
        righe = 50 + int(rand() * 400)
        for (i = 0; i < righe; i++) {
            campi = int(rand() * 4)
            riga = ""
            for (c = 0; c <= campi; c++) {
                v = rand() < 0.1 ? "" : pezzi[1 + int(rand() * n)]
                if (rand() < 0.3) v = "  " v
                if (rand() < 0.3) v = v "   "
                if (rand() < 0.05) v = v "\"q\" x"
                riga = riga (c ? "," : "") v
            }
            r = rand()
            fine = r < 0.4 ? "\r\n" : r < 0.8 ? "\n" : r < 0.9 ? "\r" : "\n\n"
            printf "%s%s", riga, (i == righe - 1 && seme % 3 == 0) ? "" : fine
        }
    }' > "caso$seme.txt"
done

printf '\xEF\xBB\xBFuno,due\r\nuno\r\ntre' > bom-utf8.txt
printf '\xFF\xFEu\x00n\x00o\x00,\x00d\x00u\x00e\x00\r\x00\n\x00u\x00n\x00o\x00\r\x00\n\x00\xe0\x00' > utf16le.txt
printf '\xFE\xFF\x00u\x00n\x00o\x00\n\x00u\x00n\x00o\x00\n\x00\xe8' > utf16be.txt
printf 'citt\xe0,CITT\xc0\r\ncitt\xe0\r\nperch\xe9\r\n' > latin1.txt
printf 'citt\xc3\xa0,CITT\xc3\x80\ncitt\xc3\xa0\n\xe2\x82\xac\n\xe2\x82\xac' > utf8.txt
# (not "nul.txt": NUL is a device name on Windows, extension or not)
printf 'a\x00b\na\x00b\n\x00\n\x00\nz' > byte-zero.txt
printf 'x\ry\rx\ry' > cr.txt
printf 'x\ny\nx\ny' > lf-senza-fine.txt
printf ',,,\r\n\r\n,\n\n' > solo-separatori.txt
printf 'uno\ndue\ntre\n' > senza-ripetute.txt
# An accented name: the copy's name is upper-cased by ICU on Linux and by
# Windows' own mapping, and must come out the same.
printf 'b\na\nb\n' > 'città perché.txt'
printf '   \n \n,  ,\n' > solo-spazi.txt
awk 'BEGIN { for (i = 0; i < 40000; i++) printf "%d\r\n", (i * 7919) % 33000 }' > oltre-32767.txt
awk 'BEGIN { s = "0123456789"; while (length(s) < 100000) s = s s
            for (i = 0; i < 300; i++) printf "%s%d%s\n", s, i % 150, (i % 4 ? "" : "  ") }' > lunghe.txt
"$gen" long lunghe-gen.txt 0.25

wine_di() {  # a Linux path as Wine's Windows programs name it
    printf 'Z:%s' "$(realpath "$1" | tr / '\\')"
}

# confronta NAME OPTIONS... FILES...: both benches on the files, one run each.
confronta() {
    local nome=$1; shift
    local opzioni=() file=()
    while [ $# -gt 0 ]; do
        case $1 in --*) opzioni+=("$1" "$2"); shift 2 ;; *) file+=("$1"); shift ;; esac
    done
    local l="$cartella/$nome/linux" w="$cartella/$nome/windows"
    mkdir -p "$l" "$w"
    local file_w=()
    for f in "${file[@]}"; do file_w+=("$(wine_di "$f")"); done
    "$linux" "${file[@]}" --out "$l" "${opzioni[@]}" > "$l.txt"
    wine "$windows" "${file_w[@]}" --out "$(wine_di "$w")" "${opzioni[@]}" > "$w.txt"
    # The counts: items, kept, dropped, and the runs written to disk.
    local conti='s/^\(.*: items [0-9]* kept [0-9]* dropped [0-9]*\) threads \([0-9]*\) .* runs \([0-9]*\) .*/\1 threads \2 runs \3/'
    if ! diff <(sed "$conti" "$l.txt") <(sed "$conti" "$w.txt"); then
        echo "FAIL $nome: the counts differ"; return 1
    fi
    if ! diff -r "$l" "$w"; then
        echo "FAIL $nome: the copies differ"; return 1
    fi
    echo "ok $nome: $(wc -l < "$l.txt") lists, $(ls "$l" | wc -l) copies"
}

cd "$cartella"
confronta liste liste/*.txt
"$gen" lotto grandi/lotto.txt
confronta lotto-1-filo --threads 1 grandi/lotto.txt
confronta lotto-2-fili --threads 2 grandi/lotto.txt
# Past its memory the run sorts runs on disk and merges them, in passes.
confronta su-disco --memory 8M --threads 2 --fan-in 4 grandi/lotto.txt
grep -q 'runs [1-9]' su-disco/windows.txt || { echo "FAIL su-disco: no run was written to disk"; exit 1; }
