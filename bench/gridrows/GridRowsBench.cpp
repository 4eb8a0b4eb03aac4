// The string grid's whole-grid row operations at 100,000 rows x 20 columns (texts, column 5 a
// number) against the same table in a std::vector<QStringList>.
//   bench_gridrows        (offscreen; run a Release build)
// Targets: sorting a text and the numeric column at most 3 x std::sort of the peer's rows
// (QString::compare / toDouble per comparison), RestoreRowOrder no slower than the sort;
// FilterActive ">=50000" on and off each at most 3 x a peer loop with the same test; FindCell of
// an absent text at most 3 x a peer loop with case-insensitive contains; FindRowByPrefix under
// 30 ms; 1,000 InsertRows and 1,000 RemoveRows in the middle at most 3 x the peer; Group on 1,000
// values (sort included) and UnGroup each under 2 s, ContractAll and ExpandAll each under 300 ms;
// AutoSizeCol under 300 ms; peak heap with half the rows hidden at most 1.1 x unfiltered. Times are the best of three runs.
#include "grid/GridUtils.h"
#include "grid/ZodUvuz.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <memory>
#include <random>
#include <vector>

using namespace grid;

namespace {
constexpr int kRows = 100000;
constexpr int kCols = 20;
constexpr int kNumCol = 5;
constexpr int kGroupCol = 7;

QString cellText(int col, int row, int key)
{
    if (col == kNumCol)
        return QString::number(key);
    if (col == kGroupCol)
        return QStringLiteral("g%1").arg(key % 1000, 4, 10, QLatin1Char('0'));
    const int len = 8 + (key * 7 + col * 3) % 9;
    QString s = QStringLiteral("t%1c%2_").arg(key).arg(col);
    while (s.size() < len)
        s += QLatin1Char('a' + (key + col + int(s.size())) % 26);
    return s;
}

std::vector<int> shuffledKeys()
{
    std::vector<int> keys(kRows);
    for (int i = 0; i < kRows; ++i)
        keys[size_t(i)] = i;
    std::mt19937 rng(42);
    std::shuffle(keys.begin(), keys.end(), rng);
    return keys;
}

size_t heapInUse()
{
    malloc_trim(0);
    return mallinfo2().uordblks;
}

double timed(const std::function<void()>& work)
{
    QElapsedTimer t;
    t.start();
    work();
    return t.nsecsElapsed() / 1e6;
}

double bestOf(int runs, const std::function<void()>& prepare, const std::function<void()>& work)
{
    double best = 1e100;
    for (int i = 0; i < runs; ++i) {
        prepare();
        best = std::min(best, timed(work));
    }
    return best;
}

void report(const char* what, double value, double limit, const char* unit)
{
    std::printf("%-48s %10.2f %-6s (limit %.2f) %s\n", what, value, unit, limit, value <= limit ? "ok" : "MISSED");
}

void fill(TZedEzeravIvur& g, const std::vector<int>& keys)
{
    g.BeginUpdate();
    g.SetColCount(kCols);
    g.SetRowCount(kRows + 1);
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c)
            g.SetCells(c, r + 1, cellText(c, r, keys[size_t(r)]));
    g.EndUpdate();
}

std::vector<QStringList> peerTable(const std::vector<int>& keys)
{
    std::vector<QStringList> t(kRows);
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c)
            t[size_t(r)].append(cellText(c, r, keys[size_t(r)]));
    return t;
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::vector<int> keys = shuffledKeys();
    auto g = std::make_unique<TZedEzeravIvur>();
    fill(*g, keys);
    std::vector<QStringList> peer;

    // --- sorting
    const double peerText = bestOf(3, [&] { peer = peerTable(keys); }, [&] {
        std::sort(peer.begin(), peer.end(), [](const QStringList& a, const QStringList& b) { return a[1].compare(b[1]) < 0; });
    });
    const double peerNum = bestOf(3, [&] { peer = peerTable(keys); }, [&] {
        std::sort(peer.begin(), peer.end(),
                  [](const QStringList& a, const QStringList& b) { return a[kNumCol].toDouble() < b[kNumCol].toDouble(); });
    });
    double sortText = 1e100, sortNum = 1e100, restore = 1e100;
    for (int i = 0; i < 3; ++i) {
        g->SortSettings()->Column = 1;
        sortText = std::min(sortText, timed([&] { g->SortByColumn(); }));
        restore = std::min(restore, timed([&] { g->RestoreRowOrder(); }));
        g->SortSettings()->Column = kNumCol;
        sortNum = std::min(sortNum, timed([&] { g->SortByColumn(); }));
        g->RestoreRowOrder();
    }
    std::printf("peer std::sort text %.2f ms, numeric %.2f ms\n", peerText, peerNum);
    report("SortByColumn text / peer", sortText / peerText, 3, "x");
    report("SortByColumn numeric / peer", sortNum / peerNum, 3, "x");
    report("RestoreRowOrder / text sort", restore / sortText, 1, "x");
    std::printf("  (sort text %.2f ms, numeric %.2f ms, restore %.2f ms)\n", sortText, sortNum, restore);

    if (qEnvironmentVariableIsSet("GRIDROWS_SORT_ONLY"))
        return 0;

    // --- filtering
    peer = peerTable(keys);
    const size_t heapBefore = heapInUse();
    TFilterData& f = g->Filter().Add();
    f.Column = kNumCol;
    f.Condition = QStringLiteral(">=50000");
    double filterOn = 1e100, filterOff = 1e100;
    size_t heapFiltered = 0;
    for (int i = 0; i < 3; ++i) {
        filterOn = std::min(filterOn, timed([&] { g->SetFilterActive(true); }));
        heapFiltered = std::max(heapFiltered, heapInUse());
        filterOff = std::min(filterOff, timed([&] { g->SetFilterActive(false); }));
    }
    std::vector<int> peerHidden;
    const double peerFilter = bestOf(3, [&] { peerHidden.clear(); }, [&] {
        for (int r = 0; r < kRows; ++r)
            if (!MatchFilterExpression(QStringLiteral(">=50000"), peer[size_t(r)][kNumCol], true))
                peerHidden.push_back(r);
    });
    std::printf("peer filter loop %.2f ms (%zu rows fail); grid on %.2f ms, off %.2f ms\n", peerFilter,
                peerHidden.size(), filterOn, filterOff);
    report("FilterActive on / peer", filterOn / peerFilter, 3, "x");
    report("FilterActive off / peer", filterOff / peerFilter, 3, "x");
    report("heap with half hidden / unfiltered", double(heapFiltered) / double(heapBefore), 1.1, "x");
    g->Filter().Clear();

    // --- search
    QPoint found;
    const double find = bestOf(3, [] {}, [&] { g->FindCell({-1, -1}, QStringLiteral("absent!"), found, 0); });
    int hits = 0;
    const double peerFind = bestOf(3, [&] { hits = 0; }, [&] {
        for (int c = 0; c < kCols; ++c)
            for (int r = 0; r < kRows; ++r)
                hits += peer[size_t(r)][c].contains(QStringLiteral("absent!"), Qt::CaseInsensitive) ? 1 : 0;
    });
    std::printf("FindCell %.2f ms, peer %.2f ms\n", find, peerFind);
    report("FindCell absent / peer", find / peerFind, 3, "x");
    g->SortSettings()->Column = 1;
    const double prefix = bestOf(3, [] {}, [&] { g->FindRowByPrefix(QStringLiteral("NOPE")); });
    report("FindRowByPrefix (absent)", prefix, 30, "ms");

    // --- insertion and removal
    const double ins = timed([&] {
        for (int i = 0; i < 1000; ++i)
            g->InsertRows(kRows / 2, 1);
    });
    const double rem = timed([&] {
        for (int i = 0; i < 1000; ++i)
            g->RemoveRows(kRows / 2, 1);
    });
    const double peerIns = timed([&] {
        for (int i = 0; i < 1000; ++i)
            peer.insert(peer.begin() + kRows / 2, QStringList());
    });
    const double peerRem = timed([&] {
        for (int i = 0; i < 1000; ++i)
            peer.erase(peer.begin() + kRows / 2);
    });
    std::printf("insert %.2f ms (peer %.2f), remove %.2f ms (peer %.2f)\n", ins, peerIns, rem, peerRem);
    report("1,000 InsertRows / peer", ins / peerIns, 3, "x");
    report("1,000 RemoveRows / peer", rem / peerRem, 3, "x");

    // --- nodes and grouping
    const double group = timed([&] { g->Group(kGroupCol); });
    const double contract = timed([&] { g->ContractAll(); });
    const double expand = timed([&] { g->ExpandAll(); });
    const double ungroup = timed([&] { g->UnGroup(); });
    const double autoSize = bestOf(3, [&] { g->SetColWidths(1, 64); }, [&] { g->AutoSizeCol(1); });
    report("AutoSizeCol over 100,000 rows", autoSize, 300, "ms");
    report("Group on 1,000 values", group, 2000, "ms");
    report("ContractAll", contract, 300, "ms");
    report("ExpandAll", expand, 300, "ms");
    report("UnGroup", ungroup, 2000, "ms");
    return 0;
}
