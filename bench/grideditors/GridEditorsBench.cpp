// The grid's cell editors:
//   bench_grideditors        (offscreen; run a Release build)
// Targets: completion over 100,000 lookup items under 5 ms per key release, in the default edit
// and in a combo whose own items do not match (the match is the last lookup item, so every item is
// compared); moving the current cell
// with the write-back and the next editor shown under 5 ms per move, over 1,000 cells of mixed
// kinds. Times are per key / per move, the best of five runs.
#include "grid/ZodUvuz.h"
#include "grid/ZodUvuzInplace.h"
#include "grid/editors/GridEditors.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <functional>

using namespace grid;

namespace {

double bestOf5(const std::function<double()>& run)
{
    double best = 1e18;
    for (int i = 0; i < 5; ++i)
        best = std::min(best, run());
    return best;
}

QStringList lookupItems()
{
    QStringList items;
    items.reserve(100000);
    for (int i = 0; i < 99999; ++i)
        items << QStringLiteral("item%1").arg(i);
    items << QStringLiteral("zebra");
    return items;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList items = lookupItems();

    TZedEzeravIvur grid;
    grid.resize(900, 700);
    grid.SetColCount(12);
    grid.SetRowCount(90);
    grid.SetGridOptions(grid.GridOptions() | tk::goEditing);
    grid.Lookup = true;
    grid.SetLookupItemsList(items);
    grid.show();
    grid.setFocus();
    QApplication::processEvents();

    // Completion in the default edit, multi-line and single-line: one key release over all items.
    double defaultMs[2] = {0, 0};
    for (int multiLine = 1; multiLine >= 0; --multiLine) {
        grid.Navigation()->AllowCtrlEnter = multiLine != 0;
        grid.FocusCell(1, 1, true);
        grid.ShowEditor();
        tk::TInplaceEditor* edit = grid.InplaceEditor();
        if (edit->MultiLine() != (multiLine != 0))
            std::fprintf(stderr, "the default edit is not of the kind asked for\n");
        defaultMs[multiLine] = bestOf5([&] {
            edit->SetText(QString());
            QElapsedTimer t;
            t.start();
            QTest::keyClick(edit->Widget(), Qt::Key_Z);
            const double ms = double(t.nsecsElapsed()) / 1e6;
            if (edit->Text() != QLatin1String("zebra"))
                std::fprintf(stderr, "default edit did not complete: %s\n", qPrintable(edit->Text()));
            return ms;
        });
        grid.HideEditor();
    }
    grid.Navigation()->AllowCtrlEnter = true;

    // Completion in a combo: the items do not match, the lookup list is searched too.
    editors::TGridCombo* combo = grid.GridCombo();
    combo->addItems({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    grid.OnGetEditorType = [](QObject*, int col, int, TEditorType& kind) {
        static const TEditorType kinds[] = {edNormal, edSpinEdit, edComboEdit, edEditBtn, edUnitEditBtn,
                                            edDateSpinEdit, edFloatSpinEdit, edComboList, edCheckBox, edNumeric};
        kind = col == 11 ? edComboEdit : kinds[col % 10];
    };
    grid.FocusCell(11, 1, true);
    grid.ShowEditor();
    const double comboMs = bestOf5([&] {
        combo->setEditText(QString());
        QElapsedTimer t;
        t.start();
        QTest::keyClick(combo, Qt::Key_Z);
        const double ms = double(t.nsecsElapsed()) / 1e6;
        if (combo->currentText() != QLatin1String("zebra"))
            std::fprintf(stderr, "combo did not complete: %s\n", qPrintable(combo->currentText()));
        return ms;
    });
    grid.EndInplaceEdit();
    grid.HideEditor();
    combo->clear();
    combo->addItems({"a", "b", "c"});
    grid.SetLookupItemsList({});

    // Moving over 1,000 cells of mixed kinds, each time writing back and showing the next editor.
    for (int r = 1; r < grid.RowCount(); ++r)
        for (int c = 1; c < grid.ColCount(); ++c)
            grid.SetCells(c, r, QString::number(r * c));
    const double moveMs = bestOf5([&] {
        grid.FocusCell(1, 1, true);
        grid.ShowEditor();
        QElapsedTimer t;
        t.start();
        int moves = 0;
        int shown = 0;
        for (int r = 1; r < grid.RowCount() && moves < 1000; ++r)
            for (int c = 1; c < grid.ColCount() && moves < 1000; ++c) {
                grid.FocusCell(c, r, true);
                grid.ShowEditor();
                shown += grid.ShownEditorControl() || (grid.InplaceEditor() && grid.InplaceEditor()->Visible());
                ++moves;
            }
        const double ms = double(t.nsecsElapsed()) / 1e6 / moves;
        if (shown < moves * 9 / 10)   // the check box cells show no editor
            std::fprintf(stderr, "only %d of %d moves showed an editor\n", shown, moves);
        grid.EndInplaceEdit();
        grid.HideEditor();
        return ms;
    });

    std::printf("completion, default edit (multi-line), 100000 items: %.3f ms per key (target < 5)\n", defaultMs[1]);
    std::printf("completion, default edit (single line), 100000 items: %.3f ms per key (target < 5)\n", defaultMs[0]);
    std::printf("completion, combo, 100000 lookup items: %.3f ms per key (target < 5)\n", comboMs);
    std::printf("SelectCell with write-back and next editor, mixed kinds: %.3f ms per move (target < 5)\n", moveMs);
    return 0;
}
