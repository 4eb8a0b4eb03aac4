// The memo's typing aids in their windows: completion popup, parameter hint, hover hints,
// markers in the gutter, companions, theme colours and the print mode.
#include "htmleditor/memo/ZedCompletion.h"
#include "htmleditor/memo/ZedMemo.h"
#include "platform/grid/Toolkit.h"
#include "tests/memo/MemoTestUtil.h"

#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

// A styler two steps below the base styler.
class DeeperStyler : public TZedWebMemoStyler {
    Q_OBJECT
public:
    using TZedWebMemoStyler::TZedWebMemoStyler;
};

namespace {

// Key presses as a keyboard sends them: key code and the text it produces.
void SendText(QWidget* target, const QString& text)
{
    for (QChar c : text) {
        const bool upper = c.isUpper();
        const int key = c == QChar(0xE4) ? int(Qt::Key_Adiaeresis) : int(c.toUpper().unicode());
        QKeyEvent press(QEvent::KeyPress, key, upper ? Qt::ShiftModifier : Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key, upper ? Qt::ShiftModifier : Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &release);
    }
}

// Screenshots go where the other window tests put theirs.
void Shot(QWidget* w, const QString& name)
{
    const QString out = qEnvironmentVariable("QLY_SCREENSHOT_DIR", QDir::currentPath() + QStringLiteral("/screenshots"));
    QDir().mkpath(out);
    EXPECT_TRUE(w->grab().save(out + QLatin1Char('/') + name));
}

QStringList Listed(TZedCustomMemo& m)
{
    QStringList out;
    if (m.CompletionList())
        for (const TCompletionEntry& e : m.CompletionList()->Entries())
            out << e.Text;
    return out;
}

struct WebMemo {
    WebMemo()
    {
        memo.resize(500, 300);
        memo.SetSyntaxStyles(&styler);
        memo.show();
        memo.setFocus();
    }
    void Type(const QString& text) { QTest::keyClicks(&memo, text); }
    void Ctrl(Qt::Key key, Qt::KeyboardModifiers more = {}) { QTest::keyClick(&memo, key, Qt::ControlModifier | more); }
    void ListKey(Qt::Key key, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(memo.CompletionList(), key, mods); }
    bool Popup() const { return memo.CompletionShowing(); }
    bool Hint() const { return memo.HintForm() && memo.HintForm()->isVisible(); }
    TZedWebMemoStyler styler;
    TZedMemo memo;
};

}  // namespace

TEST(MemoCompletion, WebStylerEntriesFilterAndAccept)
{
    WebMemo w;
    w.Type(QStringLiteral("al"));
    w.Ctrl(Qt::Key_Space);
    ASSERT_TRUE(w.Popup());
    EXPECT_EQ(Listed(w.memo), QStringList{QStringLiteral("alert")});
    w.ListKey(Qt::Key_Return);
    EXPECT_FALSE(w.Popup());
    EXPECT_EQ(w.memo.LineText(0), QStringLiteral("alert"));
    EXPECT_EQ(w.memo.Caret(), (TZedPos{5, 0}));

    w.memo.SetLines({QString()});
    w.Ctrl(Qt::Key_Space);
    EXPECT_EQ(Listed(w.memo), (QStringList{QStringLiteral("alert"), QStringLiteral("confirm"), QStringLiteral("prompt")}));
    w.ListKey(Qt::Key_Escape);
    EXPECT_FALSE(w.Popup());
    EXPECT_EQ(w.memo.LineText(0), QString());

    // After "(" the timer finds no identifier at the caret: no popup.
    w.Type(QStringLiteral("alert("));
    EXPECT_TRUE(w.memo.CompletionTimer().isActive());
    QTest::qWait(600);
    EXPECT_FALSE(w.Popup());
}

TEST(MemoCompletion, ParameterHintShowsTheCurrentParameterInBold)
{
    WebMemo w;
    w.memo.SetAutoHintParameters(hpManual);
    w.Type(QStringLiteral("alert("));
    EXPECT_FALSE(w.Hint());
    w.Ctrl(Qt::Key_Space, Qt::ShiftModifier);
    ASSERT_TRUE(w.Hint());
    EXPECT_EQ(w.memo.HintForm()->Parts().Current, QStringLiteral("message"));
    // Placed one line below the caret, at the caret's column behind the gutter.
    const QPoint origin = w.memo.viewport()->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(w.memo.HintForm()->geometry().topLeft(),
              QPoint(origin.x() + 45 + 6 * w.memo.CellWidth(), origin.y() + w.memo.CellHeight() + 2));

    // With hpAuto the hint follows the typed keys.
    w.memo.SetAutoHintParameters(hpAuto);
    w.memo.SetLines({QString()});
    w.Type(QStringLiteral("prompt(a,"));
    ASSERT_TRUE(w.Hint());
    EXPECT_EQ(w.memo.HintForm()->Parts().Current, QStringLiteral("defaultvalue"));
    EXPECT_EQ(w.memo.HintForm()->Parts().Before, QStringLiteral("message,"));
    EXPECT_EQ(w.memo.HintForm()->size(), w.memo.HintForm()->NeededSize());
    Shot(w.memo.HintForm(), QStringLiteral("memo-hint.png"));

    // A ")" or five blanks left of the "(" give none.
    for (const QString& text : {QStringLiteral("alert(x)"), QStringLiteral("alert(     ")}) {
        w.memo.SetLines({QString()});
        w.memo.HideParameterHint();
        w.Type(text);
        w.Ctrl(Qt::Key_Space, Qt::ShiftModifier);
        EXPECT_FALSE(w.Hint()) << text.toStdString();
    }
    // hpNone: Ctrl+Shift+Space shows nothing.
    w.memo.SetLines({QStringLiteral("alert(")});
    w.memo.SetCaret({6, 0});
    w.memo.SetAutoHintParameters(hpNone);
    w.Ctrl(Qt::Key_Space, Qt::ShiftModifier);
    EXPECT_FALSE(w.Hint());
}

TEST(MemoCompletion, SuppliedListKindsColoursAndFunctionEntry)
{
    WebMemo w;
    w.memo.OnGetAutoCompletionList = [](const QString&, QStringList& list) {
        list = {QStringLiteral("function alert(message)"), QStringLiteral("var x"), QStringLiteral("property y")};
    };
    int started = 0, completed = 0;
    w.memo.OnStartAutoCompletion = [&] { ++started; };
    w.memo.OnAutoCompletion = [&] { ++completed; };
    w.Ctrl(Qt::Key_Space);
    ASSERT_TRUE(w.Popup());
    TAutoCompletionListBox* list = w.memo.CompletionList();
    std::vector<int> kinds;
    for (const TCompletionEntry& e : list->Entries())
        kinds.push_back(e.Kind);
    EXPECT_EQ(kinds, (std::vector<int>{5, 1, 2}));
    EXPECT_EQ(list->KindColor(5), w.memo.AutoCompletion().ColorFunc);
    EXPECT_EQ(list->KindColor(1), TColor(0xFF0000));
    EXPECT_EQ(list->KindColor(2), TColor(0x808000));
    // Geometry: at the caret cell behind the gutter, as wide as the list needs.
    const QPoint origin = w.memo.viewport()->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(w.memo.CompletionForm()->geometry(),
              QRect(origin.x() + 45, origin.y() + w.memo.CellHeight() + 2, list->NeededWidth(), 100));
    EXPECT_GE(list->ItemHeight(), 16);
    // The list paints the kind word, the bold name and the parameters: look at it.
    Shot(w.memo.CompletionForm(), QStringLiteral("memo-completion.png"));

    w.ListKey(Qt::Key_Return);
    EXPECT_EQ(w.memo.LineText(0), QStringLiteral("alert()"));
    EXPECT_EQ(w.memo.Caret(), (TZedPos{6, 0}));
    EXPECT_TRUE(w.Hint());
    EXPECT_EQ(started, 1);
    EXPECT_EQ(completed, 1);

    // A mouse pick inserts the name without "()".
    w.memo.SetLines({QString()});
    w.memo.SetCaret({0, 0});
    w.Ctrl(Qt::Key_Space);
    ASSERT_TRUE(w.Popup());
    const QRect first = list->visualItemRect(list->item(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first.center());
    EXPECT_FALSE(w.Popup());
    EXPECT_EQ(w.memo.LineText(0), QStringLiteral("alert"));
}

TEST(MemoCompletion, KeysInTheList)
{
    WebMemo w;
    w.styler.AutoCompletionList = {QStringLiteral("alert"), QStringLiteral("a-b"), QStringLiteral("a5"),
                                   QStringLiteral("aÄx"), QStringLiteral("document.write"), QStringLiteral("document.body")};
    auto open = [&](const QString& line) {
        w.memo.SetLines({line});
        w.memo.SetCaret({int(line.length()), 0});
        w.Ctrl(Qt::Key_Space);
    };
    // Typed characters reach the memo and filter: digits (also 5), "-" as "-", umlauts.
    struct Case {
        QString typed;
        QString line;
        QStringList listed;
    } cases[] = {
        {QStringLiteral("5"), QStringLiteral("a5"), {QStringLiteral("a5")}},
        {QStringLiteral("-"), QStringLiteral("a-"), {QStringLiteral("a-b")}},
        {QStringLiteral("ä"), QStringLiteral("aä"), {QStringLiteral("aÄx")}},
        {QStringLiteral("L"), QStringLiteral("aL"), {QStringLiteral("alert")}},
    };
    for (const Case& c : cases) {
        open(QStringLiteral("a"));
        ASSERT_TRUE(w.Popup());
        SendText(w.memo.CompletionList(), c.typed);
        EXPECT_TRUE(w.Popup()) << c.typed.toStdString();
        EXPECT_EQ(w.memo.LineText(0), c.line) << c.typed.toStdString();
        EXPECT_EQ(Listed(w.memo), c.listed) << c.typed.toStdString();
        w.ListKey(Qt::Key_Escape);
    }
    // Tab closes and leaves the text; Delete removes the character right of the caret.
    open(QStringLiteral("a"));
    w.memo.SetLines({QStringLiteral("ax")});
    w.memo.SetCaret({1, 0});
    w.ListKey(Qt::Key_Delete);
    EXPECT_EQ(w.memo.LineText(0), QStringLiteral("a"));
    w.ListKey(Qt::Key_Tab);
    EXPECT_FALSE(w.Popup());
    EXPECT_EQ(w.memo.LineText(0), QStringLiteral("a"));
    // Keys without text (Insert, F1) cancel.
    int cancelled = 0;
    w.memo.OnCancelAutoCompletion = [&] { ++cancelled; };
    for (Qt::Key key : {Qt::Key_Insert, Qt::Key_F1}) {
        open(QStringLiteral("a"));
        ASSERT_TRUE(w.Popup());
        w.ListKey(key);
        EXPECT_FALSE(w.Popup());
        EXPECT_EQ(w.memo.LineText(0), QStringLiteral("a"));
    }
    EXPECT_EQ(cancelled, 2);
    // A completion started at a "." filters by the token behind it and closes when Backspace
    // takes the "." away; accepting replaces only the typed part.
    open(QStringLiteral("document.wr"));
    ASSERT_TRUE(w.Popup());
    EXPECT_EQ(Listed(w.memo), QStringList{QStringLiteral("document.write")});
    w.ListKey(Qt::Key_Backspace);
    EXPECT_TRUE(w.Popup());
    EXPECT_EQ(w.memo.LineText(0), QStringLiteral("document.w"));
    w.ListKey(Qt::Key_Backspace);
    EXPECT_TRUE(w.Popup());  // the "." is still there
    w.ListKey(Qt::Key_Backspace);
    EXPECT_FALSE(w.Popup());
    EXPECT_EQ(w.memo.LineText(0), QStringLiteral("document"));

    w.memo.SetLines({QStringLiteral("x document.b) + 1")});
    w.memo.SetCaret({12, 0});
    w.Ctrl(Qt::Key_Space);
    ASSERT_TRUE(w.Popup());
    w.memo.OnInsertAutoCompletionEntry = [](QString& entry) { entry = QStringLiteral("body"); };
    w.ListKey(Qt::Key_Return);
    EXPECT_EQ(w.memo.LineText(0), QStringLiteral("x document.body) + 1"));
}

TEST(MemoHints, HoverHintsOfferTheWordOrTheToken)
{
    WebMemo w;
    w.memo.SetLines({QStringLiteral("hello world.text")});
    const QPoint cell = w.memo.CellOrigin({7, 0}) + QPoint(2, 2);  // inside "world.text"
    auto hover = [&] {
        QHelpEvent e(QEvent::ToolTip, cell, w.memo.viewport()->mapToGlobal(cell));
        QApplication::sendEvent(w.memo.viewport(), &e);
    };
    QString offered;
    bool show = true;
    w.memo.OnHintForToken = [&](int, int, const QString& value, QString& hint, bool& s) {
        offered = QStringLiteral("token:") + value;
        hint = QStringLiteral("T");
        s = show;
    };
    hover();
    EXPECT_EQ(offered, QStringLiteral("token:world"));
    EXPECT_EQ(QToolTip::text(), QStringLiteral("T"));
    w.memo.OnHintForWord = [&](int, int, const QString& value, QString& hint, bool& s) {
        offered = value;
        hint = value.toUpper();
        s = show;
    };
    hover();
    EXPECT_EQ(offered, QStringLiteral("world"));  // the word handler wins; "." is one of the styler's symbols
    EXPECT_EQ(QToolTip::text(), QStringLiteral("WORLD"));
    show = false;
    hover();
    QTest::qWait(500);
    EXPECT_FALSE(QToolTip::isVisible());
    // Without handlers the ordinary hint shows.
    w.memo.OnHintForWord = nullptr;
    w.memo.OnHintForToken = nullptr;
    w.memo.setToolTip(QStringLiteral("plain"));
    hover();
    EXPECT_EQ(QToolTip::text(), QStringLiteral("plain"));
}

TEST(MemoCompanions, PublishedValuesThemeAndStylerList)
{
    QWidget owner;
    auto* memo = new TZedMemo(&owner);
    EXPECT_EQ(memo->AutoHintParameterDelay(), 2500);
    EXPECT_EQ(memo->AutoHintParameters(), hpAuto);
    EXPECT_EQ(memo->AutoHintParameterPosition, hpBelowCode);
    EXPECT_EQ(memo->AutoCompletion().Delay(), 500);
    EXPECT_TRUE(memo->AutoCorrect.Active);
    EXPECT_FALSE(memo->PrintOptions().PrintLineNumbers);
    EXPECT_EQ(memo->MarkerList().DefaultMarkerImageIndex, -1);
    EXPECT_EQ(memo->MarkerList().ImageTransparentColor(), gfx::clWhite);
    EXPECT_EQ(memo->CompletionForm()->objectName(), QStringLiteral("_fa"));
    EXPECT_EQ(memo->CompletionList()->objectName(), QStringLiteral("_lc"));
    EXPECT_EQ(memo->HintForm()->objectName(), QStringLiteral("_hf"));
    for (const char* name : {"Zarn_VAR", "Zarn_PROP", "Zarn_EVENT", "Zarn_PROC", "Zarn_METHOD"})
        EXPECT_EQ(ZarnBitmap(QString::fromLatin1(name)).size(), QSize(16, 16)) << name;

    // Theme colours: no desktop theme here, so the gutter runs from white to the button face.
    EXPECT_EQ(ThemeGutterColors(QStringLiteral("NormalColor")).GutterColor, TColor(0xE0A57D));
    EXPECT_EQ(ThemeGutterColors(QStringLiteral("HomeStead")).GutterColorTo, TColor(0xCFF0EA));
    EXPECT_EQ(ThemeGutterColors(QStringLiteral("Metallic")).GutterColor, TColor(0xB39698));
    EXPECT_EQ(ThemeGutterColors(QStringLiteral("Royale")).GutterColor, gfx::clWhite);
    EXPECT_EQ(memo->Gutter().GutterColor(), gfx::clBtnFace);
    memo->AutoThemeAdapt = true;
    owner.show();
    EXPECT_EQ(memo->Gutter().GutterColor(), gfx::clWhite);
    EXPECT_EQ(memo->Gutter().GutterColorTo(), gfx::clBtnFace);

    // Styler list: direct descendants of the base styler among the owner's children.
    auto* direct = new TZedWebMemoStyler(&owner);
    auto* deeper = new DeeperStyler(&owner);
    QObject other(&owner);
    QCoreApplication::processEvents();
    EXPECT_TRUE(memo->StylerList().Contains(direct));
    EXPECT_FALSE(memo->StylerList().Contains(deeper));
    EXPECT_EQ(memo->StylerList().Count(), 1);
    delete direct;
    EXPECT_EQ(memo->StylerList().Count(), 0);
    auto* later = new TZedWebMemoStyler(&owner);
    QCoreApplication::processEvents();
    EXPECT_TRUE(memo->StylerList().Contains(later));
}

TEST(MemoGutter, MarkersDrawAtTheRowWithTheirImage)
{
    TZedMemo memo;
    memo.resize(300, 200);
    memo.SetLines({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    tk::TImageList images(8, 8);
    QImage red(8, 8, QImage::Format_ARGB32);
    red.fill(QColor(255, 0, 0));
    QImage green(8, 8, QImage::Format_ARGB32);
    green.fill(QColor(0, 255, 0));
    images.Add(red);
    images.Add(green);
    memo.MarkerList().SetMarkerImageList(&images);
    TZedMarker* m = memo.MarkerList().Markers().Add();
    m->LineNumber = 1;
    m->ImageIndex = 1;
    memo.Gutter().SetShowLineNumbers(false);
    auto pixel = [&](int row) {
        const QImage shot = memo.viewport()->grab().toImage();
        const QRect r = memo.GutterRect();
        return shot.pixelColor(r.left() + 1 + 3, 2 + row * memo.CellHeight() + 1 + 2 + 3);
    };
    memo.show();
    EXPECT_EQ(pixel(1), QColor(0, 255, 0));
    EXPECT_NE(pixel(0), QColor(0, 255, 0));
    memo.MarkerList().UseDefaultMarkerImageIndex = true;
    memo.MarkerList().DefaultMarkerImageIndex = 0;
    EXPECT_EQ(pixel(1), QColor(255, 0, 0));
}

TEST(MemoPrint, CharactersAdvanceByTheWidthOfWAndNumbersAlignRight)
{
    TZedMemo memo;
    QStringList lines;
    for (int i = 1; i <= 12; ++i)
        lines << QStringLiteral("line %1 text").arg(i);
    memo.SetLines(lines);

    QImage direct(600, 400, QImage::Format_ARGB32_Premultiplied);
    direct.fill(Qt::white);
    QFont font(QStringLiteral("DejaVu Sans"));  // proportional on purpose: cells come from "w"
    font.setPixelSize(14);
    {
        QPainter p(&direct);
        p.setFont(font);
        memo.PrintLines(&p, QRect(0, 0, 600, 400));
    }
    const int w = QFontMetrics(font, &direct).horizontalAdvance(QLatin1Char('w'));
    // Column of the first ink pixel of "i" in line 1 (character 1) starts at 1 * w or later.
    auto firstInk = [&](const QImage& img, int x0, int x1, int y0, int y1) {
        for (int x = x0; x < x1; ++x)
            for (int y = y0; y < y1; ++y)
                if (qGray(img.pixel(x, y)) < 128)
                    return x;
        return -1;
    };
    const int h = QFontMetrics(font, &direct).height();
    for (int col : {0, 1, 5, 7}) {
        const int ink = firstInk(direct, col * w, (col + 1) * w, 0, h);
        EXPECT_GE(ink, col * w) << col;
        EXPECT_LT(ink, (col + 1) * w) << col;
    }
    // Through the line buffer the page looks the same.
    QImage buffered(600, 400, QImage::Format_ARGB32_Premultiplied);
    buffered.fill(Qt::white);
    {
        QPainter p(&buffered);
        p.setFont(font);
        memo.PrintLines(&p, QRect(0, 0, 600, 400), true);
    }
    EXPECT_EQ(buffered, direct);

    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "pdftotext is not installed (scripts/setup installs it)";
    memo.PrintOptions().PrintLineNumbers = true;
    memo.Gutter().SetNumberSuffix(QStringLiteral(":"));
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("memo.pdf"));
    {
        QPdfWriter writer(pdf);
        QPainter p(&writer);
        QFont mono(QStringLiteral("DejaVu Sans Mono"));
        mono.setPointSize(10);
        p.setFont(mono);
        memo.PrintLines(&p, QRect(0, 0, writer.width(), writer.height()));
    }
    QProcess proc;
    proc.start(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(proc.waitForFinished(30000));
    const QString text = QString::fromUtf8(proc.readAllStandardOutput());
    const QRegularExpression nine(QStringLiteral("^( *)9: line 9 text"), QRegularExpression::MultilineOption);
    const QRegularExpression ten(QStringLiteral("^( *)10: line 10 text"), QRegularExpression::MultilineOption);
    const auto m9 = nine.match(text);
    const auto m10 = ten.match(text);
    ASSERT_TRUE(m9.hasMatch()) << text.toStdString();
    ASSERT_TRUE(m10.hasMatch()) << text.toStdString();
    EXPECT_EQ(m9.captured(1).length(), m10.captured(1).length() + 1);  // right-aligned numbers
}

#include "CompletionViewTest.moc"
