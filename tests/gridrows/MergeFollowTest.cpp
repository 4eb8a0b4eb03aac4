// Merged ranges under row and column operations: the fault cases, and random runs of merging,
// splitting, inserting and removing rows and columns, sorting and grouping checked step by step
// against a model of what every cell must show.
#include "grid/ZodUvuz.h"

#include <QRect>
#include <QStringList>
#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <random>
#include <vector>

using namespace grid;

namespace {

std::unique_ptr<TZedEzeravIvur> plainGrid(int cols, int rows)
{
    auto g = std::make_unique<TZedEzeravIvur>();
    g->SetColCount(cols);
    g->SetRowCount(rows);
    g->SortSettings()->AutoFormat = false;   // texts compare as they are
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            g->SetCells(c, r, QStringLiteral("%1%2").arg(QChar('a' + c)).arg(r));
    return g;
}

QStringList columnShown(TZedEzeravIvur& g, int col)
{
    QStringList out;
    for (int r = 0; r < g.RowCount(); ++r)
        out << g.DisplayText(col, r);
    return out;
}

} // namespace

TEST(MergeFollow, RemovingTheBaseRowKeepsTheRestOfTheRangeWithItsText)
{
    auto g = plainGrid(3, 6);
    g->MergeCells(1, 2, 1, 3);   // rows 2..4 of column 1 show "b2"
    g->RemoveRows(2, 1);
    EXPECT_EQ(columnShown(*g, 1), (QStringList{"b0", "b1", "b2", "b2", "b5"}));
    EXPECT_EQ(g->BaseCell(1, 3), QPoint(1, 2));
    g->SetCellText(1, 3, QStringLiteral("EDITED"));
    EXPECT_EQ(columnShown(*g, 1), (QStringList{"b0", "b1", "EDITED", "EDITED", "b5"}));
}

TEST(MergeFollow, RowAndColumnOperationsThroughARange)
{
    struct Case {
        const char* name;
        std::function<void(TZedEzeravIvur&)> op;
        QStringList column1;   // what column 1 shows afterwards
        QRect range;           // the range afterwards (empty: none)
    };
    const std::vector<Case> cases = {
        {"insert inside grows it", [](TZedEzeravIvur& g) { g.InsertRows(3, 2); },
         {"b0", "b1", "b2", "b2", "b2", "b2", "b2", "b5"}, QRect(1, 2, 1, 5)},
        {"insert at its top moves it", [](TZedEzeravIvur& g) { g.InsertRows(2, 1); },
         {"b0", "b1", "", "b2", "b2", "b2", "b5"}, QRect(1, 3, 1, 3)},
        {"remove below its top shrinks it", [](TZedEzeravIvur& g) { g.RemoveRows(3, 2); },
         {"b0", "b1", "b2", "b5"}, QRect()},
        {"sorting splits it", [](TZedEzeravIvur& g) {
             g.SetCells(0, 1, QStringLiteral("z"));
             g.SortSettings()->Column = 0;
             g.SortByColumn();
         }, {"b0", "b2", "b3", "b4", "b5", "b1"}, QRect()},
        {"cutting rows off cuts it", [](TZedEzeravIvur& g) { g.SetRowCount(4); },
         {"b0", "b1", "b2", "b2"}, QRect(1, 2, 1, 2)},
        {"removing its column drops it", [](TZedEzeravIvur& g) { g.RemoveCols(1, 1); },
         {"c0", "c1", "c2", "c3", "c4", "c5"}, QRect()},
        {"moving a row from above past it moves it", [](TZedEzeravIvur& g) { g.MoveRowData(1, 5); },
         {"b0", "b2", "b2", "b2", "b5", "b1"}, QRect(1, 1, 1, 3)},
        {"moving one of its rows away splits it", [](TZedEzeravIvur& g) { g.MoveRowData(3, 5); },
         {"b0", "b1", "b2", "b4", "b5", "b3"}, QRect()},
        {"moving its column moves it", [](TZedEzeravIvur& g) { g.MoveColumnData(1, 2); },
         {"c0", "c1", "c2", "c3", "c4", "c5"}, QRect(2, 2, 1, 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto g = plainGrid(3, 6);
        g->MergeCells(1, 2, 1, 3);
        c.op(*g);
        EXPECT_EQ(columnShown(*g, 1), c.column1);
        std::vector<QRect> ranges;
        for (const auto& m : g->MergedRanges())
            ranges.push_back(m.cells);
        EXPECT_EQ(ranges, c.range.isNull() ? std::vector<QRect>{} : std::vector<QRect>{c.range});
    }
}

TEST(MergeFollow, AHorizontalRangeLosesARemovedColumnAndGainsAnInsertedOne)
{
    auto g = plainGrid(6, 3);
    g->MergeCells(1, 1, 4, 1);   // columns 1..4 of row 1 show "b1"
    g->RemoveCols(1, 1);         // its base column goes: the text stays with the range
    EXPECT_EQ(g->DisplayText(1, 1), "b1");
    EXPECT_EQ(g->DisplayText(3, 1), "b1");
    EXPECT_EQ(g->DisplayText(4, 1), "f1");
    g->InsertCols(2, 1);
    EXPECT_EQ(g->CellSpan(1, 1), QPoint(3, 0));
    EXPECT_EQ(g->DisplayText(5, 1), "f1");
}

// ------------------------------------------------------------------ random runs against a model

namespace {

// What the grid must hold: the stored texts, the merged ranges, and which rows are group headers.
struct Model {
    std::vector<std::vector<QString>> cells;   // [row][col]
    std::vector<QRect> ranges;
    std::vector<bool> header;
    int groupCol = -1, headerCol = -1;
    QString groupHeaderText;

    int rows() const { return int(cells.size()); }
    int cols() const { return cells.empty() ? 0 : int(cells[0].size()); }
    const QRect* rangeAt(int c, int r) const
    {
        for (const QRect& q : ranges)
            if (q.contains(c, r))
                return &q;
        return nullptr;
    }
    QPoint base(int c, int r) const
    {
        const QRect* q = rangeAt(c, r);
        return q ? q->topLeft() : QPoint(c, r);
    }
    QString shown(int c, int r) const
    {
        const QPoint b = base(c, r);
        return cells[size_t(b.y())][size_t(b.x())];
    }
    void dropIntersecting(const QRect& area)
    {
        ranges.erase(std::remove_if(ranges.begin(), ranges.end(), [&](const QRect& q) { return q.intersects(area); }),
                     ranges.end());
    }
    void merge(int c, int r, int nc, int nr)
    {
        QRect area(c, r, std::min(nc, cols() - c), std::min(nr, rows() - r));
        dropIntersecting(area);
        if (area.width() * area.height() > 1)
            ranges.push_back(area);
    }
    void split(int c, int r)
    {
        if (const QRect* q = rangeAt(c, r))
            dropIntersecting(*q);
    }
    void setText(int c, int r, const QString& t)
    {
        const QPoint b = base(c, r);
        cells[size_t(b.y())][size_t(b.x())] = t;
    }
    // The rule the grid follows: a range keeps its remaining indices and indices inserted between
    // them while they keep their order side by side; a range whose base went gives its text to
    // its new top-left cell.
    static bool follow(int from, int to, const std::vector<int>& map, int newCount, int& first, int& last)
    {
        std::vector<int> inv(size_t(newCount), -1);
        for (int i = 0; i < int(map.size()); ++i)
            if (map[size_t(i)] >= 0)
                inv[size_t(map[size_t(i)])] = i;
        first = last = -1;
        for (int i = from; i <= to; ++i) {
            const int n = map[size_t(i)];
            if (n < 0)
                continue;
            if (first >= 0 && n <= last)
                return false;
            if (first < 0)
                first = n;
            last = n;
        }
        if (first < 0)
            return false;
        for (int n = first; n <= last; ++n)
            if (inv[size_t(n)] >= 0 && (inv[size_t(n)] < from || inv[size_t(n)] > to))
                return false;
        return true;
    }
    void relay(const std::vector<QRect>& old, const std::vector<QString>& texts, const std::vector<int>& rowMap,
               const std::vector<int>& colMap)
    {
        ranges.clear();
        for (size_t i = 0; i < old.size(); ++i) {
            const QRect& q = old[i];
            int t, b, l, rr;
            if (!follow(q.top(), q.bottom(), rowMap, rows(), t, b) || !follow(q.left(), q.right(), colMap, cols(), l, rr))
                continue;
            if (rowMap[size_t(q.top())] != t || colMap[size_t(q.left())] != l)
                cells[size_t(t)][size_t(l)] = texts[i];
            if (rr > l || b > t)
                ranges.push_back(QRect(QPoint(l, t), QPoint(rr, b)));
        }
    }
    std::vector<QString> baseTexts() const
    {
        std::vector<QString> out;
        for (const QRect& q : ranges)
            out.push_back(cells[size_t(q.top())][size_t(q.left())]);
        return out;
    }
    static std::vector<int> shifted(int count, int at, int delta)
    {
        std::vector<int> m(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            m[size_t(i)] = i < at ? i : delta >= 0 ? i + delta : (i < at - delta ? -1 : i + delta);
        return m;
    }
    void insertRows(int at, int n)
    {
        const auto old = ranges;
        const auto texts = baseTexts();
        const int before = rows();
        cells.insert(cells.begin() + at, size_t(n), std::vector<QString>(size_t(cols())));
        header.insert(header.begin() + at, size_t(n), false);
        relay(old, texts, shifted(before, at, n), shifted(cols(), 0, 0));
    }
    void removeRows(int at, int n)
    {
        const auto old = ranges;
        const auto texts = baseTexts();
        const int before = rows();
        cells.erase(cells.begin() + at, cells.begin() + at + n);
        header.erase(header.begin() + at, header.begin() + at + n);
        relay(old, texts, shifted(before, at, -n), shifted(cols(), 0, 0));
    }
    void insertCols(int at, int n)
    {
        const auto old = ranges;
        const auto texts = baseTexts();
        const int before = cols();
        for (auto& row : cells)
            row.insert(row.begin() + at, size_t(n), QString());
        relay(old, texts, shifted(rows(), 0, 0), shifted(before, at, n));
    }
    void removeCols(int at, int n)
    {
        const auto old = ranges;
        const auto texts = baseTexts();
        const int before = cols();
        for (auto& row : cells)
            row.erase(row.begin() + at, row.begin() + at + n);
        relay(old, texts, shifted(rows(), 0, 0), shifted(before, at, -n));
    }
    void splitRowSpanning(int first, int last)
    {
        ranges.erase(std::remove_if(ranges.begin(), ranges.end(),
                                    [&](const QRect& q) { return q.height() > 1 && q.bottom() >= first && q.top() <= last; }),
                     ranges.end());
    }
    // One row as the grid shows it: texts, and for each cell its base and span.
    QString signature(int r) const
    {
        QString s;
        for (int c = 0; c < cols(); ++c) {
            const QRect* q = rangeAt(c, r);
            const QPoint b = q ? q->topLeft() : QPoint(c, r);
            const QPoint span = q ? QPoint(q->width() - 1, q->height() - 1) : QPoint(0, 0);
            s += cells[size_t(r)][size_t(c)] + QStringLiteral("|%1,%2,%3,%4;").arg(b.x()).arg(b.y() - r).arg(span.x()).arg(span.y());
        }
        return s;
    }
    // Sorts the rows first..last by the shown texts of `col` and the columns right of it (rows
    // keep their single-row ranges; ranges over several rows were split).
    void sort(int col, int first, int last)
    {
        splitRowSpanning(first, last);
        struct Row {
            std::vector<QString> cells;
            bool header;
            std::vector<QRect> ranges;
            QStringList key;
        };
        std::vector<Row> moved;
        for (int r = first; r <= last; ++r) {
            Row row{cells[size_t(r)], header[size_t(r)], takeRowRanges(r), {}};
            for (int c = col; c < cols(); ++c)
                row.key << shownWith(row.cells, row.ranges, c);
            moved.push_back(std::move(row));
        }
        std::stable_sort(moved.begin(), moved.end(), [](const Row& a, const Row& b) {
            for (int i = 0; i < a.key.size(); ++i)
                if (const int d = a.key[i].compare(b.key[i]))
                    return d < 0;
            return false;
        });
        for (size_t i = 0; i < moved.size(); ++i)
            putRow(first + int(i), moved[i].cells, moved[i].header, moved[i].ranges);
    }
    // The grid's sort is not stable: runs of rows with equal keys (the shown texts from keyCol on)
    // take the order the grid chose, each row matched by everything it holds.
    void matchTies(int first, int last, int keyCol, const std::function<QString(int)>& gridSignature)
    {
        auto key = [&](int r) {
            QStringList k;
            for (int c = keyCol; c < cols(); ++c)
                k << shown(c, r);
            return k;
        };
        for (int i = first; i <= last;) {
            int j = i + 1;
            while (!header[size_t(i)] && j <= last && !header[size_t(j)] && key(j) == key(i))
                ++j;
            if (j - i > 1) {
                struct Held {
                    std::vector<QString> cells;
                    std::vector<QRect> ranges;
                    QString sig;
                    bool used = false;
                };
                std::vector<Held> held;
                for (int r = i; r < j; ++r)
                    held.push_back({cells[size_t(r)], {}, signature(r)});
                for (int r = i; r < j; ++r)
                    held[size_t(r - i)].ranges = takeRowRanges(r);
                for (int r = i; r < j; ++r) {
                    const QString want = gridSignature(r);
                    Held* choice = nullptr;
                    for (Held& h : held)
                        if (!h.used && h.sig == want) {
                            choice = &h;
                            break;
                        }
                    for (Held& h : held)
                        if (!choice && !h.used)
                            choice = &h;   // none fits: the check will tell
                    choice->used = true;
                    putRow(r, choice->cells, false, choice->ranges);
                }
            }
            i = j;
        }
    }
    std::vector<QRect> takeRowRanges(int r)
    {
        std::vector<QRect> out;
        for (auto it = ranges.begin(); it != ranges.end();)
            if (it->top() == r && it->height() == 1) {
                out.push_back(*it);
                it = ranges.erase(it);
            } else {
                ++it;
            }
        return out;
    }
    void putRow(int r, const std::vector<QString>& rowCells, bool isHeader, const std::vector<QRect>& rowRanges)
    {
        cells[size_t(r)] = rowCells;
        header[size_t(r)] = isHeader;
        for (const QRect& q : rowRanges)
            ranges.push_back(QRect(q.left(), r, q.width(), 1));
    }
    static QString shownWith(const std::vector<QString>& rowCells, const std::vector<QRect>& rowRanges, int c)
    {
        for (const QRect& q : rowRanges)
            if (c >= q.left() && c <= q.right())
                return rowCells[size_t(q.left())];
        return rowCells[size_t(c)];
    }
};

QString gridSignature(TZedEzeravIvur& g, int r)
{
    QString s;
    for (int c = 0; c < g.ColCount(); ++c) {
        const QPoint b = g.BaseCell(c, r);
        const QPoint span = g.CellSpan(c, r);
        s += g.Cells(c, r) + QStringLiteral("|%1,%2,%3,%4;").arg(b.x()).arg(b.y() - r).arg(span.x()).arg(span.y());
    }
    return s;
}

// The first difference between the grid and the model, or an empty text.
QString difference(TZedEzeravIvur& g, const Model& m)
{
    if (g.RowCount() != m.rows() || g.ColCount() != m.cols())
        return QStringLiteral("size %1x%2, model %3x%4").arg(g.ColCount()).arg(g.RowCount()).arg(m.cols()).arg(m.rows());
    for (int r = 0; r < m.rows(); ++r)
        for (int c = 0; c < m.cols(); ++c) {
            if (g.DisplayText(c, r) != m.shown(c, r))
                return QStringLiteral("cell %1,%2 shows \"%3\", model \"%4\"").arg(c).arg(r).arg(g.DisplayText(c, r), m.shown(c, r));
            if (g.BaseCell(c, r) != m.base(c, r))
                return QStringLiteral("cell %1,%2 has base %3,%4, model %5,%6")
                    .arg(c).arg(r).arg(g.BaseCell(c, r).x()).arg(g.BaseCell(c, r).y()).arg(m.base(c, r).x()).arg(m.base(c, r).y());
        }
    return QString();
}

void runRandomMerges(unsigned seed)
{
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto word = [&] {
        QString w;
        for (int i = pick(0, 2); i > 0; --i)
            w += QChar('a' + pick(0, 3));
        return w;
    };
    TZedEzeravIvur g;
    g.SortSettings()->AutoFormat = false;
    g.SetColCount(5);
    g.SetRowCount(8);
    Model m;
    m.cells.assign(8, std::vector<QString>(5));
    m.header.assign(8, false);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 5; ++c) {
            const QString w = word();
            g.SetCells(c, r, w);
            m.cells[size_t(r)][size_t(c)] = w;
        }

    for (int step = 0; step < 300; ++step) {
        const bool grouped = m.groupCol >= 0;
        const int rows = m.rows(), cols = m.cols();
        QString what;
        int op = pick(0, grouped ? 7 : 10);
        if (grouped && op == 7)
            op = 11;
        switch (op) {
        case 0: case 1: {   // merge
            const int c = pick(0, cols - 1), r = pick(0, rows - 1), nc = pick(1, 3), nr = pick(1, 3);
            what = QStringLiteral("merge %1,%2 %3x%4").arg(c).arg(r).arg(nc).arg(nr);
            g.MergeCells(c, r, nc, nr);
            m.merge(c, r, nc, nr);
            break;
        }
        case 2: {
            const int c = pick(0, cols - 1), r = pick(0, rows - 1);
            what = QStringLiteral("split %1,%2").arg(c).arg(r);
            g.SplitCells(c, r);
            m.split(c, r);
            break;
        }
        case 3: {
            const int c = pick(0, cols - 1), r = pick(0, rows - 1);
            const QString t = word() + QStringLiteral("x");
            what = QStringLiteral("text %1,%2").arg(c).arg(r);
            g.SetCellText(c, r, t);
            m.setText(c, r, t);
            break;
        }
        case 4: {
            if (rows > 14)
                continue;
            const int at = pick(0, rows), n = pick(1, 2);
            what = QStringLiteral("insert rows %1+%2").arg(at).arg(n);
            g.InsertRows(at, n);
            m.insertRows(at, n);
            break;
        }
        case 5: case 6: {
            if (rows < 5)
                continue;
            const int at = pick(1, rows - 1), n = std::min(pick(1, 2), rows - at);
            what = QStringLiteral("remove rows %1+%2").arg(at).arg(n);
            g.RemoveRows(at, n);
            m.removeRows(at, n);
            break;
        }
        case 7: {
            if (cols > 7)
                continue;
            const int at = pick(0, cols), n = pick(1, 2);
            what = QStringLiteral("insert cols %1+%2").arg(at).arg(n);
            g.InsertCols(at, n);
            m.insertCols(at, n);
            break;
        }
        case 8: {
            if (cols < 4)
                continue;
            const int at = pick(0, cols - 1), n = std::min(pick(1, 2), cols - at);
            what = QStringLiteral("remove cols %1+%2").arg(at).arg(n);
            g.RemoveCols(at, n);
            m.removeCols(at, n);
            break;
        }
        case 9: {
            const int c = pick(0, cols - 1);
            what = QStringLiteral("sort by %1").arg(c);
            g.SortSettings()->Column = c;
            g.SortByColumn();
            m.sort(c, g.FixedRows(), rows - 1);
            m.matchTies(g.FixedRows(), rows - 1, c, [&](int r) { return gridSignature(g, r); });
            break;
        }
        case 10: {
            if (cols < 3)
                continue;
            const int c = pick(1, cols - 1);
            what = QStringLiteral("group by %1").arg(c);
            const int first = g.FixedRows();
            const QString headerText = g.Cells(c, 0);
            g.Group(c);
            // Ranges over several rows go, then the rows are sorted by the column and every run
            // of equal texts gets a header row with the run's text; the column goes.
            m.sort(c, first, rows - 1);
            m.groupCol = c;
            m.headerCol = c == 1 ? 2 : 1;
            m.groupHeaderText = headerText;
            QString last = QStringLiteral("\u00FF\u00FE");
            for (int r = first; r < m.rows(); ++r) {
                const QString v = m.shown(c, r);
                if (v != last) {
                    m.insertRows(r, 1);
                    m.header[size_t(r)] = true;
                    m.cells[size_t(r)][size_t(m.headerCol)] = v;
                    ++r;
                }
                last = v;
            }
            m.removeCols(c, 1);
            m.matchTies(first, m.rows() - 1, c, [&](int r) { return gridSignature(g, r); });
            break;
        }
        case 11: {
            what = QStringLiteral("ungroup");
            g.UnGroup();
            const int c = m.groupCol;
            m.insertCols(c, 1);
            m.cells[0][size_t(c)] = m.groupHeaderText;
            QString value;
            for (int r = g.FixedRows(); r < m.rows();) {
                if (!m.header[size_t(r)]) {
                    m.cells[size_t(r)][size_t(c)] = value;
                    ++r;
                    continue;
                }
                value = m.cells[size_t(r)][size_t(m.headerCol)];
                // The header row's cells are cleared and freed before the row goes.
                m.ranges.erase(std::remove_if(m.ranges.begin(), m.ranges.end(), [&](const QRect& q) { return q.top() == r; }),
                               m.ranges.end());
                m.removeRows(r, 1);
            }
            m.groupCol = -1;
            break;
        }
        }
        if (qEnvironmentVariableIsSet("MERGE_TRACE")) qInfo("%s ranges=%d rows=%d cols=%d", qPrintable(what), int(m.ranges.size()), m.rows(), m.cols());
        const QString diff = difference(g, m);
        ASSERT_TRUE(diff.isEmpty()) << "seed " << seed << ", step " << step << " (" << what.toStdString()
                                    << "): " << diff.toStdString();
    }
}

} // namespace

TEST(MergeFollow, RandomOperationsKeepEveryCellAsTheModelHasIt)
{
    for (unsigned seed : {1u, 7u, 42u, 2024u, 31337u}) {
        SCOPED_TRACE(seed);
        runRandomMerges(seed);
        if (HasFatalFailure())
            return;
    }
}
