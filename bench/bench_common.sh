# What the shell benchmarks share: a measured run ("seconds kib status"), the median of a
# column of numbers, a ratio of two. Sourced after bin= is set.
measure() { "$bin/bench_measure" "$@"; }
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
ratio() { awk "BEGIN{printf \"%.2f\", $1 / ($2 > 0 ? $2 : 0.001)}"; }
