#!/usr/bin/env bash
# Speed of the recording tools against plain file operations, in one run:
#   export to HDF5 beside a copy of the same file (both timed to the end of
#   their sync), ondaris-verifie beside a plain read of the file (page cache
#   of the file dropped before each read).
#   bench/outils_bench.sh [folder] [GiB]      (default /tmp/ondaris-bench, 1)
set -euo pipefail
bin=$(cd "$(dirname "$0")/../build" && pwd)
dir=${1:-/tmp/ondaris-bench} gib=${2:-1} runs=3
mkdir -p "$dir" && cd "$dir"
py=$(command -v /usr/bin/python3 || command -v python3)

# All microphones and counter A at 50 kHz: 4100 bytes a frame.
duree=$("$py" -c "print(round($gib * 2**30 / (4100 * 50000), 2))")
"$bin/ondaris-acq" --simulateur --sim-rythme libre --frequence 50000 --duree "$duree" --dossier . \
  --nom Bench --ecraser --sans-progression >/dev/null || true
taille=$(stat -c %s Bench.dat)
[ "$taille" -gt 0 ] || { echo "no recording"; exit 1; }
froid() { "$py" -c "import os,sys; fd=os.open(sys.argv[1],os.O_RDONLY); os.posix_fadvise(fd,0,0,os.POSIX_FADV_DONTNEED)" "$1"; }
calc() { awk "BEGIN { print $1 }"; }
temps() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null; t1=$(date +%s.%N); calc "$t1 - $t0"; }
mediane() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }

copie=() export=() lecture=() verifie=()
for _ in $(seq $runs); do
  rm -f Copie.dat Bench.h5; sync
  copie+=("$(temps sh -c 'cp Bench.dat Copie.dat && sync Copie.dat')")
  rm -f Copie.dat; sync
  export+=("$(temps sh -c "'$bin/ondaris-export' Bench.dat --format h5 --ecraser && sync Bench.h5")")
  rm -f Bench.h5; sync
  froid Bench.dat; lecture+=("$(temps dd if=Bench.dat of=/dev/null bs=1M status=none)")
  froid Bench.dat; verifie+=("$(temps "$bin/ondaris-verifie" Bench.dat)")
done
mb() { calc "int($taille / 1000000 / $1)"; }
c=$(mediane "${copie[@]}") e=$(mediane "${export[@]}") l=$(mediane "${lecture[@]}") v=$(mediane "${verifie[@]}")
printf 'Recording: %d bytes, %d frames of 1025 words; median of %d runs\n' "$taille" $((taille / 4100)) $runs
printf 'cp + sync             %6.2f s  %5d MB/s\n' "$c" "$(mb "$c")"
printf 'export h5 + sync      %6.2f s  %5d MB/s   ratio to the copy %.2f\n' "$e" "$(mb "$e")" "$(calc "$c / $e")"
printf 'dd bs=1M (cold cache) %6.2f s  %5d MB/s\n' "$l" "$(mb "$l")"
printf 'ondaris-verifie       %6.2f s  %5d MB/s   ratio to the read %.2f\n' "$v" "$(mb "$v")" "$(calc "$l / $v")"
rm -f Bench.dat Bench.Ond Bench.log Bench.h5 Copie.dat config_en_cours.txt
