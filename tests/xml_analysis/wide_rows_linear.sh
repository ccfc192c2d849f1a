#!/usr/bin/env bash
# A row of 4 times as many distinct names costs about 4 times the work, never 16 times.
# Work is counted in instructions (callgrind), which do not depend on the machine's load.
set -euo pipefail
bench=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
count() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bench" analyse "$1" 2>&1 >/dev/null |
        awk '/Collected/ {print $4}'
}
"$bench" generate-wide 5000 "$work/small.xml"
"$bench" generate-wide 20000 "$work/large.xml"
small=$(count "$work/small.xml")
large=$(count "$work/large.xml")
echo "instructions: 5000 names $small, 20000 names $large"
# Linear gives about 4; a search through every earlier name gives about 16.
awk -v s="$small" -v l="$large" 'BEGIN { r = l / s; printf "ratio %.2f\n", r; exit !(r < 6) }'
