#!/usr/bin/env bash
# Export of the nested typed tables (a row table and three items a row) as one nested document,
# against the engine's own fastest dump of the same rows: sqlite3 -csv, psql \copy ... TO,
# mariadb --batch. Medians of interleaved runs.
#   bench/export.sh BUILD_DIR        (EXPORT_ROWS, EXPORT_ENGINES, EXPORT_RUNS to narrow)
set -euo pipefail
build=${1:-build}
bin=$build/bench
cli=$build/src/quorix-cli
work=$build/bench-data/export
mkdir -p "$work"
source "$(dirname "$0")/../tests/support/servers.sh"
trap stop_servers EXIT
runs=${EXPORT_RUNS:-3}
source "$(dirname "$0")/bench_common.sh"

echo "Export of nested typed tables to one document against the engine's own dump of the same"
echo "tables (one file per table). Medians of $runs interleaved runs."
printf "%-9s %-11s %8s %8s %7s %9s %10s\n" rows engine "ours s" "dump s" ratio "peak KiB" "doc MB"
for engine in ${EXPORT_ENGINES:-sqlite postgresql mysql}; do
    [ "$engine" = postgresql ] && start_pg
    [ "$engine" = mysql ] && start_my
    for rows in ${EXPORT_ROWS:-1000000}; do
        d=$work/${engine}_$rows
        rm -rf "$d"; mkdir -p "$d"; chmod 755 "$d"
        dbtype=$([ "$engine" = sqlite ] && echo access || echo "$engine")
        "$bin/bench_loading" typed "$rows" "$d" "$dbtype" nested
        case $engine in
        sqlite)
            target=(--data-source "$d/x.db")
            "$cli" load "$d/doc.qxd" "$d/doc.xml" "${target[@]}" --new-database --create > /dev/null
            dump="for t in ROW ITEM; do sqlite3 -csv '$d/x.db' \"SELECT * FROM \\\"\$t\\\"\" > '$d/'\$t.csv; done" ;;
        postgresql)
            fresh exsrc
            target=(--data-source "$(src exsrc)")
            "$cli" load "$d/doc.qxd" "$d/doc.xml" "${target[@]}" --create > /dev/null
            dump="for t in ROW ITEM; do psql -X -q '$(src exsrc)' -c \"\\\\copy \\\"\$t\\\" TO '$d/\$t.csv' CSV\"; done" ;;
        mysql)
            myfresh exsrc
            target=(--data-source "$(mysrc exsrc)" --user root)
            "$cli" load "$d/doc.qxd" "$d/doc.xml" "${target[@]}" --create > /dev/null
            dump="for t in ROW ITEM; do mariadb --no-defaults -u root --socket='$my/sock' --batch exsrc -e \"SELECT * FROM \\\`\$t\\\`\" > '$d/'\$t.tsv; done" ;;
        esac
        rm -f "$d/doc.xml"
        ours=() tool=() peak=()
        for _ in $(seq "$runs"); do
            read -r t m s < <(measure "$cli" export "$d/doc.qxd" "${target[@]}" -o "$d/out.xml" 2> /dev/null)
            [ "$s" = 0 ] || { echo "export failed" >&2; exit 1; }
            ours+=("$t"); peak+=("$m")
            read -r t _ s < <(measure sh -c "$dump"); [ "$s" = 0 ] || { echo "dump failed" >&2; exit 1; }
            tool+=("$t")
        done
        ot=$(printf "%s\n" "${ours[@]}" | median)
        tt=$(printf "%s\n" "${tool[@]}" | median)
        printf "%-9s %-11s %8s %8s %7s %9s %10s\n" "$rows" "$engine" "$ot" "$tt" "$(ratio "$ot" "$tt")" \
            "$(printf "%s\n" "${peak[@]}" | sort -n | tail -1)" "$(stat -c %s "$d/out.xml" | awk '{printf "%.0f", $1 / 1e6}')"
        rm -rf "$d"
    done
    [ "$engine" = postgresql ] && stop_pg
    [ "$engine" = mysql ] && stop_my
done
