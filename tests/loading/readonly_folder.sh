#!/usr/bin/env bash
# The folder of a SQLite file becomes read-only during a load (run as an ordinary user, since
# root writes anywhere): the commit fails, and the message says what is true — the journal
# left beside the file undoes the load when the database is next opened — never "undone".
set -euo pipefail
prepare=$1 cli=$2
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
as() { if [ "$(id -u)" -eq 0 ]; then setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; else "$@"; fi; }
"$prepare" prepare 300000 "$work" > /dev/null
mkdir "$work/d"
[ "$(id -u)" -eq 0 ] && chown -R nobody "$work"
chmod 755 "$work"
as "$cli" create "$work/doc.qxd" --new-database --data-source "$work/d/db.mdb" > /dev/null
( rc=0
  as "$cli" load "$work/doc.qxd" "$work/doc.xml" --data-source "$work/d/db.mdb" > "$work/out" 2>&1 || rc=$?
  echo "exit $rc" >> "$work/out" ) &
for _ in $(seq 500); do [ -e "$work/d/db.mdb-journal" ] && break; sleep 0.01; done
chmod 555 "$work/d"
wait
cat "$work/out"
grep -q "^exit 1$" "$work/out" || { echo "the load did not fail" >&2; exit 1; }
grep -q "ジャーナルファイル「$work/d/db.mdb-journal」に残っています" "$work/out" ||
    { echo "the journal left behind was not said" >&2; exit 1; }
if grep -q "元の状態に戻されました" "$work/out"; then echo "called undone" >&2; exit 1; fi
chmod 755 "$work/d"
# Opened with its journal, the database holds none of the rows, and the journal is gone.
[ "$(sqlite3 "$work/d/db.mdb" "SELECT count(*) FROM \"ROW\"")" = 0 ] || { echo "rows stayed" >&2; exit 1; }
[ ! -e "$work/d/db.mdb-journal" ] || { echo "the journal stayed" >&2; exit 1; }
echo "said as it is"
