#!/usr/bin/env bash
# Three Galera nodes on the loopback address, started and stopped here: tables created and
# loaded through one node are on every node with the same rows; a failed create leaves
# nothing on any node.
set -euo pipefail

cli=$1
examples=$2

base=$(mktemp -d)
chmod 755 "$base"
# The nodes run as the mysql user when started as root: the state transfer's rsync daemon
# then reads their files as their owner.
user=$(id -un)
[ "$(id -u)" -eq 0 ] && user=mysql
stop() {
    for n in 1 2 3; do
        [ -f "$base/n$n/pid" ] && kill "$(cat "$base/n$n/pid")" 2>/dev/null || true
    done
    for _ in $(seq 100); do pgrep -f "datadir=$base/" > /dev/null || break; sleep 0.1; done
    pkill -9 -f "datadir=$base/" 2>/dev/null || true
    rm -rf "$base"
}
trap stop EXIT
[ -n "${GALERA_KEEP:-}" ] && trap - EXIT
fail() { echo "galera: $*" >&2; for n in 1 2 3; do tail -20 "$base/n$n/server.log" >&2 || true; done; exit 1; }

# Ports free at this moment, from a range of the run's own.
port0=$((20000 + ($$ % 2000) * 10))
start() {
    local n=$1 address=$2
    local d=$base/n$n
    mariadbd --no-defaults --user="$user" --datadir="$d/data" --socket="$d/sock" \
        --port=$((port0 + n)) --bind-address=127.0.0.1 --pid-file="$d/pid" --log-error="$d/server.log" \
        --innodb-buffer-pool-size=32M --innodb-log-file-size=16M --binlog-format=ROW \
        --default-storage-engine=InnoDB --innodb-autoinc-lock-mode=2 --wsrep-on=ON \
        --wsrep-provider=/usr/lib/galera/libgalera_smm.so --wsrep-cluster-name=quorix_test \
        --wsrep-cluster-address="$address" --wsrep-node-address=127.0.0.1:$((port0 + 3 + n)) \
        --wsrep-provider-options="gmcast.listen_addr=tcp://127.0.0.1:$((port0 + 3 + n));ist.recv_addr=127.0.0.1:$((port0 + 6 + n));gcache.size=16M" \
        --wsrep-sst-method=rsync --wsrep-sst-receive-address=127.0.0.1:$((port0 + 100 + n)) \
        > /dev/null 2>&1 &
}
on() { mariadb --no-defaults -u root --socket="$base/n$1/sock" -N -B -e "$2"; }
synced() {
    [ "$(on "$1" "SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS WHERE VARIABLE_NAME = 'WSREP_LOCAL_STATE_COMMENT'" 2>/dev/null)" = Synced ]
}
waitfor() {
    for _ in $(seq 600); do "$@" && return 0; sleep 0.1; done
    fail "waited in vain for: $*"
}

for n in 1 2 3; do
    mkdir -p "$base/n$n"
    chown "$user" "$base/n$n"
    mariadb-install-db --no-defaults --user="$user" --datadir="$base/n$n/data" \
        --auth-root-authentication-method=normal --skip-test-db > "$base/n$n/install.log" 2>&1
done
start 1 "gcomm://"
waitfor synced 1
for n in 2 3; do start $n "gcomm://127.0.0.1:$((port0 + 4))"; done
waitfor synced 2
waitfor synced 3
[ "$(on 1 "SHOW STATUS LIKE 'wsrep_cluster_size'" | cut -f2)" = 3 ] || fail "the cluster is not 3 nodes"

# Created and loaded through node 1: the same tables and rows on every node.
"$cli" load "$examples/orders.qxd" "$examples/orders.xml" --create --new-database --db-type mysql \
    --data-source "socket=$base/n1/sock database=sales" --user root > /dev/null 2>&1 ||
    fail "the load through node 1 failed"
for n in 1 2 3; do
    tables=$(on $n "SELECT group_concat(TABLE_NAME ORDER BY TABLE_NAME) FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'sales'")
    [ "$tables" = "ORDERS,ORDER_LINES" ] || fail "node $n has tables '$tables'"
    rows=$(on $n "SELECT group_concat(ORDER_NO, '/', LINE, '/', SKU ORDER BY LINE) FROM sales.ORDER_LINES")
    [ "$rows" = "20261201/1/P-1001,20261201/2/P-1002" ] || fail "node $n has rows '$rows'"
done

# A month's export through node 1, next month's as an update through node 2 and a replace
# through node 3: each node holds what the last load left.
sales() { "$cli" load "$examples/sales.qxd" "$examples/$1" --db-type mysql --user root \
    --data-source "socket=$base/n$2/sock database=monthly" "${@:3}" > /dev/null 2>&1 ||
    fail "the load of $1 through node $2 failed"; }
deliveries() { on "$1" "SELECT group_concat(ORDER_NO, '/', LINE_NO, '/', DELIVERY_NO ORDER BY ORDER_NO, LINE_NO, DELIVERY_NO) FROM monthly.DELIVERIES"; }
sales sales-2026-11.xml 1 --create --new-database
sales sales-2026-12.xml 2 --mode update
for n in 1 2 3; do
    [ "$(deliveries $n)" = "1001/1/3,1002/1/1,1003/1/1" ] || fail "node $n after the update: '$(deliveries $n)'"
done
sales sales-2026-11.xml 3 --mode replace
for n in 1 2 3; do
    [ "$(deliveries $n)" = "1001/1/1,1001/1/2,1002/1/1" ] || fail "node $n after the replace: '$(deliveries $n)'"
done

# A create that fails at its second table, through node 2: nothing on any node.
long=$(printf 'L%.0s' $(seq 65))
sed -e "s/\tORDERS$/\tNEW_ORDERS/" -e "s/\tORDER_LINES$/\t$long/" "$examples/orders.qxd" > "$base/bad.qxd"
if "$cli" create "$base/bad.qxd" --db-type mysql --data-source "socket=$base/n2/sock database=sales" \
    --user root > "$base/out" 2>&1; then
    fail "the failing create reported success"
fi
for n in 1 2 3; do
    left=$(on $n "SELECT count(*) FROM information_schema.TABLES WHERE TABLE_NAME = 'NEW_ORDERS'")
    staging=$(on $n "SELECT count(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME LIKE 'quorix\\_staging\\_%'")
    [ "$left$staging" = 00 ] || fail "node $n kept NEW_ORDERS ($left) or a staging database ($staging)"
done
# A user's database that only looks like a staging one is never touched.
on 1 "CREATE DATABASE quorix_staging_7; CREATE TABLE quorix_staging_7.t (a int PRIMARY KEY); INSERT INTO quorix_staging_7.t VALUES (1)"

# A long load through node 1 while other sessions come and go through node 2: its staging
# database, seen on node 2, is not node 2's to judge, and the load ends well.
awk 'BEGIN { print "<ROWSET>"; for (i = 1; i <= 40000; i++) printf "<ROW><ORDER_NO>%d</ORDER_NO><CUSTOMER>顧客 %d</CUSTOMER><ITEMS><ITEM><LINE>1</LINE><SKU>P-%d</SKU><QTY>2</QTY></ITEM><ITEM><LINE>2</LINE><SKU>Q-%d</SKU><QTY>1</QTY></ITEM></ITEMS></ROW>\n", i, i, i, i; print "</ROWSET>" }' > "$base/big.xml"
"$cli" load "$examples/orders.qxd" "$base/big.xml" --create --new-database --db-type mysql \
    --data-source "socket=$base/n1/sock database=big" --user root > "$base/big.out" 2>&1 &
loader=$!
met=0 i=0
while kill -0 $loader 2> /dev/null; do
    if [ "$(on 2 "SELECT count(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME LIKE 'quorix\\_staging\\_%' AND SCHEMA_NAME <> 'quorix_staging_7'")" != 0 ]; then
        i=$((i + 1))
        "$cli" load "$examples/orders.qxd" "$examples/orders.xml" --create --new-database --db-type mysql \
            --data-source "socket=$base/n2/sock database=other$i" --user root > "$base/other.out" 2>&1 ||
            fail "a load through node 2 failed: $(cat "$base/other.out")"
        grep -q "作業用データベース" "$base/other.out" && fail "node 2 removed a staging database: $(cat "$base/other.out")"
        met=1
    fi
    sleep 0.05
done
wait $loader || fail "the long load through node 1 failed: $(cat "$base/big.out")"
[ $met = 1 ] || fail "no session through node 2 met the load's staging database"
for n in 1 2 3; do
    count=$(on $n "SELECT count(*) FROM big.ORDER_LINES")
    [ "$count" = 80000 ] || fail "node $n has $count order lines"
    kept=$(on $n "SELECT a FROM quorix_staging_7.t")
    [ "$kept" = 1 ] || fail "node $n lost the user's database quorix_staging_7"
    staging=$(on $n "SELECT count(*) FROM information_schema.TABLES WHERE TABLE_NAME = 'quorix_staging_mark'")
    [ "$staging" = 0 ] || fail "node $n kept a staging database"
done

# A node lost in the middle of a load through another: the two left agree on all or nothing.
"$cli" load "$examples/orders.qxd" "$base/big.xml" --create --new-database --db-type mysql \
    --data-source "socket=$base/n1/sock database=lost" --user root > "$base/lost.out" 2>&1 &
loader=$!
sleep 0.5
kill -9 "$(cat "$base/n3/pid")"
status=0
wait $loader || status=$?
waitfor test "$(on 1 "SHOW STATUS LIKE 'wsrep_cluster_size'" | cut -f2)" = 2
for n in 1 2; do
    count=$(on $n "SELECT count(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'lost'")
    if [ $status = 0 ]; then
        [ "$(on $n "SELECT count(*) FROM lost.ORDER_LINES")" = 80000 ] || fail "node $n: the load said it ended well but is not whole"
    else
        [ "$count" = 0 ] || fail "node $n kept $count tables of a failed load: $(cat "$base/lost.out")"
    fi
done
echo "a node lost during a load: exit $status, the two nodes left agree"
echo "the three nodes agree"
