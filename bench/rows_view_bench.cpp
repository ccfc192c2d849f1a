// bench_rows_view CONNECTION TABLE: what the rows view waits for on a big table, in
// milliseconds: the connection, the columns and the first page; the count; the last rows (the
// key's order reversed); fifty pages further on by scrolling; the first page sorted by a column
// that has no index; the first page of a filter.
#include <chrono>
#include <cstdio>
#include <string>

#include "catalog/table_rows.h"

namespace {

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_rows_view CONNECTION TABLE\n");
        return 2;
    }
    constexpr std::size_t page = 200;
    auto start = std::chrono::steady_clock::now();
    quorix::TableRows rows(argv[1], argv[2]);
    const auto first = rows.more(page);
    const double opened = since(start);
    start = std::chrono::steady_clock::now();
    const long long count = rows.count();
    const double counted = since(start);
    if (!rows.error().empty() || first.size() != page || rows.key().empty()) {
        std::fprintf(stderr, "%s\n", rows.error().c_str());
        return 1;
    }
    start = std::chrono::steady_clock::now();
    rows.setOrder(rows.key().front(), true);
    const auto last = rows.more(page);
    const double toEnd = since(start);
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < 50; ++i) rows.more(page);
    const double scrolled = since(start);
    start = std::chrono::steady_clock::now();
    rows.setOrder(rows.columns().back(), false);
    rows.more(page);
    const double sorted = since(start);
    start = std::chrono::steady_clock::now();
    rows.setOrder({}, false);
    rows.setFilter("77777");
    rows.more(page);
    const double filtered = since(start);
    std::printf("%lld %.0f %.0f %.0f %.1f %.0f %.0f %s\n", count, opened, counted, toEnd, scrolled / 50, sorted,
                filtered, last.empty() || !last.front()[0] ? "-" : last.front()[0]->c_str());
    return rows.error().empty() ? 0 : 1;
}
