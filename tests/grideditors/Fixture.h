#pragma once
// A shown string grid with German separators, a counted beep and one cell whose editor kind the
// test chooses.
#include "grid/GridUtils.h"
#include "grid/ZodUvuz.h"
#include "grid/ZodUvuzInplace.h"
#include "grid/ZodUvuzRichEdit.h"
#include "grid/editors/GridEditors.h"
#include "platform/grid/GridColors.h"
#include "platform/graphics/SpinRepeatButton.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <vector>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace gridedit {

using namespace grid;

// The cell colour resolver gives cell (2, 2) a colour of its own.
class TestGrid : public TZedEzeravIvur {
public:
    TColor cellBrush = 0x80FFFF;
    void GetCellColors(int col, int row, bool& wrap, TAlignment& h, TVAlignment& v, tk::TFont& font,
                       TColor& colorTo, TColor& brush, bool map, bool sel, bool print, tk::TGridDrawState& st) override
    {
        TZedEzeravIvur::GetCellColors(col, row, wrap, h, v, font, colorTo, brush, map, sel, print, st);
        if (col == 2 && row == 2)
            brush = cellBrush;
    }
    using TZedEzeravIvur::KeyDown;

    // The editor's reports to descendants.
    struct CaretCall {
        QString text;
        QPoint point;
        int position;
    };
    std::vector<CaretCall> caretCalls;
    std::vector<bool> prefixCalls;
    void EditorCaretChanged(const QString& text, const QPoint& point, int position) override
    {
        caretCalls.push_back({text, point, position});
    }
    void EditorEqualsPrefix(bool equals) override { prefixCalls.push_back(equals); }

    // Presses and releases reaching the grid's mouse handling ("down x,y", "up x,y").
    QStringList mouseCalls;
    void MouseDown(tk::TMouseButton b, tk::TShiftState s, int x, int y) override
    {
        mouseCalls << QStringLiteral("down %1,%2").arg(x).arg(y);
        TZedEzeravIvur::MouseDown(b, s, x, y);
    }
    void MouseUp(tk::TMouseButton b, tk::TShiftState s, int x, int y) override
    {
        mouseCalls << QStringLiteral("up %1,%2").arg(x).arg(y);
        TZedEzeravIvur::MouseUp(b, s, x, y);
    }
};

class GridEditFixture : public ::testing::Test {
public:
    void SetUp() override
    {
        GridLocale l;
        l.decimalSeparator = QLatin1Char(',');
        l.thousandSeparator = QLatin1Char('.');
        l.dateSeparator = QLatin1Char('.');
        l.shortDateFormat = QStringLiteral("dd.MM.yyyy");
        SetGridLocale(l);
        beeps = 0;
        editors::SetBeepHook([this] { ++beeps; });
        window.resize(600, 400);
        grid = new TestGrid;
        grid->setParent(&window);
        grid->setGeometry(0, 0, 500, 300);
        grid->SetColCount(5);
        grid->SetRowCount(6);
        grid->SetGridOptions(grid->GridOptions() | tk::goEditing);
        other = new QLineEdit(&window);
        other->setObjectName(QStringLiteral("Other"));
        other->setGeometry(0, 320, 100, 24);
        grid->OnGetEditorType = [this](QObject*, int col, int row, TEditorType& kind) {
            auto it = kinds.find({col, row});
            if (it != kinds.end())
                kind = it->second;
        };
        window.show();
        QApplication::setActiveWindow(&window);
        grid->setFocus();
        QApplication::processEvents();
    }
    void TearDown() override { editors::SetBeepHook(nullptr); }

    // Puts the current cell on (col, row) with a text and opens its editor.
    void open(int col, int row, const QString& text, TEditorType kind)
    {
        kinds[{col, row}] = kind;
        grid->SetCells(col, row, text);
        grid->FocusCell(col, row, true);
        grid->setFocus();
        grid->ShowEditor();
        QApplication::processEvents();
    }
    // The default edit, whichever kind the cell got, and its widget for QTest input.
    tk::TInplaceEditor* inplace() const { return grid->InplaceEditor(); }
    QWidget* inplaceWidget() const { return grid->InplaceEditor() ? grid->InplaceEditor()->Widget() : nullptr; }
    QLineEdit* inplaceLine() const { return qobject_cast<QLineEdit*>(inplaceWidget()); }

    QWidget window;
    TestGrid* grid = nullptr;
    QLineEdit* other = nullptr;
    std::map<std::pair<int, int>, TEditorType> kinds;
    int beeps = 0;
};

} // namespace gridedit
