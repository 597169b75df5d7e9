#!/usr/bin/env bash
# Housekeeping at scale: a Backroom folder of 10,000 restaurant folders (half with trfbru1) and a
# log folder of 100,000 files (40,000 logs older than the cutoff, 40,000 newer, 20,000 of other
# programs). Each round copies the log folder twice; the purge runs on one copy and find on the
# other, in alternating order, and both must leave the same files behind.
#
#   bench/housekeeping/scale.sh BUILD_DIR [WORK_DIR]
# BUILD_DIR is a build configured with -DDIALVANE_BENCH=ON. WORK_DIR (default: a new folder under
# /tmp, removed at the end) decides the file system measured. ROUNDS (default 3) sets the number
# of rounds; SETTLE (default 0) the seconds to wait after the copies are made, for figures with
# a cache that has gone cold as at a station's start.
set -euo pipefail
build=${1:?usage: scale.sh BUILD_DIR [WORK_DIR]}
bench=$build/bench/housekeeping/housekeeping_bench
[[ -x $bench ]] || cmake --build "$build" --target housekeeping_bench
work=${2:-$(mktemp -d /tmp/dialvane-hk-bench.XXXXXX)}
[[ -n ${2:-} ]] || trap 'rm -rf "$work"' EXIT
rounds=${ROUNDS:-3}
settle=${SETTLE:-0}
cutoff='2024-05-01 00:00:00' # PurgeOldLogs with 60 days on 30 June 2024

now_ms() { echo $(($(date +%s%N) / 1000000)); }
count() { find "$1" -mindepth 1 -maxdepth 1 | wc -l; }

echo "laying out $work"
"$bench" make-backroom "$work/backroom"
"$bench" make-logs "$work/logs"
echo "log folder: $(count "$work/logs") files; Backroom: $(count "$work/backroom") folders"
"$bench" list "$work/backroom/"

run_find() {
    local start
    start=$(now_ms)
    find "$work/find" -maxdepth 1 -type f -name 'Dialvane*.log' ! -newermt "$cutoff" -delete
    find_ms=$(($(now_ms) - start))
}
run_purge() {
    local start
    start=$(now_ms)
    purge_line=$("$bench" purge "$work/purge/")
    purge_ms=$(($(now_ms) - start))
}

for ((round = 1; round <= rounds; round++)); do
    rm -rf "$work/find" "$work/purge"
    cp -a "$work/logs" "$work/find"
    cp -a "$work/logs" "$work/purge"
    sync
    sleep "$settle"
    if ((round % 2)); then run_find; run_purge; first=find; else run_purge; run_find; first=purge; fi
    if ! diff <(ls "$work/find") <(ls "$work/purge") >/dev/null; then
        echo "round $round: the two folders differ" >&2
        exit 1
    fi
    printf 'round %d (%s first): find %d ms, purge %d ms (%s), ratio %s; %d files left in each\n' \
        "$round" "$first" "$find_ms" "$purge_ms" "$purge_line" \
        "$(awk -v p="$purge_ms" -v f="$find_ms" 'BEGIN { printf "%.2f", p / f }')" \
        "$(count "$work/purge")"
done
