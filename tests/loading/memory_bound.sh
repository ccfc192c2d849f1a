#!/usr/bin/env bash
# Peak memory of an analysis and of a load stays within 64 MiB whatever the document's size:
# a document of many rows, and one whose values are long, measured with bench_measure; the
# same rows loaded into a PostgreSQL and a MariaDB server of the test's own.
set -euo pipefail
prepare=$1 measure=$2 cli=$3
source "$(dirname "$0")/../support/servers.sh"
limit=$((64 * 1024))
work=$(mktemp -d)
trap 'stop_servers; rm -rf "$work"' EXIT
watch_folder "$work" none
"$prepare" prepare 200000 "$work" > /dev/null
awk 'BEGIN { v = sprintf("%9000000s", ""); gsub(/ /, "長", v); print "<ROWSET>"; for (i = 1; i <= 3; i++) printf "<ROW><ID>%d</ID><V>%s</V></ROW>\n", i, substr(v, 1, 3000000); print "</ROWSET>" }' > "$work/long.xml"
check() {
    local what=$1
    shift
    read -r seconds kib status < <("$measure" "$@")
    echo "$what: $seconds s, $kib KiB, exit $status"
    [ "$status" = 0 ] || { echo "$what failed" >&2; exit 1; }
    [ "$kib" -le "$limit" ] || { echo "$what used $kib KiB, over $limit" >&2; exit 1; }
}
check "analysis with evidence" "$cli" analyse "$work/doc.xml" --evidence
check "load of 200 000 nested rows" "$cli" load "$work/doc.qxd" "$work/doc.xml" --create \
    --new-database --data-source "$work/rows.db"
"$cli" analyse "$work/long.xml" -o "$work/long.qxd"
sed -i -e 's/\tﾃｷｽﾄ型\t\\N\tT\?$/&/' "$work/long.qxd"
python3 - "$work/long.qxd" <<'PY'
import sys
p = sys.argv[1]
lines = open(p, encoding='utf-8').read().split('\n')
for i, l in enumerate(lines):
    f = l.split('\t')
    if len(f) > 8 and f[4].endswith('ID') and not l.startswith('#'): f[8] = 'LONG'
    if len(f) > 8 and f[4].endswith('V') and not l.startswith('#'): f[6] = 'ﾒﾓ型'
    lines[i] = '\t'.join(f)
open(p, 'w', encoding='utf-8').write('\n'.join(lines))
PY
check "load of 9 MB values" "$cli" load "$work/long.qxd" "$work/long.xml" --create \
    --new-database --data-source "$work/long.db"
[ "$(sqlite3 "$work/long.db" "SELECT count(*), min(length(V)) FROM LONG")" = "3|3000000" ] ||
    { echo "the long values did not arrive whole" >&2; exit 1; }
mkdir "$work/pg" "$work/my"
"$prepare" prepare 200000 "$work/pg" postgresql > /dev/null
"$prepare" prepare 200000 "$work/my" mysql > /dev/null
start_pg
fresh loaded
check "load of 200 000 nested rows into PostgreSQL" "$cli" load "$work/pg/doc.qxd" \
    "$work/pg/doc.xml" --create --data-source "$(src loaded)"
stop_pg
MY_POOL=64M MY_LOG=48M start_my
myfresh loaded
check "load of 200 000 nested rows into MariaDB" "$cli" load "$work/my/doc.qxd" \
    "$work/my/doc.xml" --create --data-source "$(mysrc loaded)" --user root
stop_my
echo "within $limit KiB"
