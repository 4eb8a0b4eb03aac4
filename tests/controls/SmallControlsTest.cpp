#include "controls/About.h"
#include "controls/ChmHelp.h"
#include "controls/HelpRouter.h"
#include "controls/ORVForm.h"
#include "controls/OrvRollOverButtons.h"
#include "controls/StateImage.h"
#include "controls/UrlLabel.h"
#include "core/OrvUtils.h"
#include "QStringPrint.h"

#include <QLabel>
#include <QPushButton>
#include <QMenu>
#include <QTimer>
#include <QTest>
#include <gtest/gtest.h>

TEST(OrvForm, ScalingTable)
{
    struct Case { TFormBorderStyle style; bool caption; int w, h, dpi, cw, ch; };
    const Case cases[] = {
        { bsSizeable, true, 800, 540, 120, 990, 641 },
        { bsSizeable, true, 800, 540, 96, 792, 513 },
        { bsDialog, false, 300, 200, 96, 292, 192 },   // no caption: no 19 pixels off
        { bsSingle, true, 300, 200, 120, 375, 226 },    // no border reduction
        { bsDialog, true, 263, 259, 144, 383, 348 },
    };
    for (const Case& c : cases) {
        TFormDesign d;
        d.Width = c.w;
        d.Height = c.h;
        d.BorderStyle = c.style;
        d.HasCaption = c.caption;
        EXPECT_EQ(OrvScaledClientSize(d, c.dpi), QSize(c.cw, c.ch)) << c.w << "x" << c.h << "@" << c.dpi;
    }
    EXPECT_EQ(OrvScale(7, 96), 7);
    EXPECT_EQ(OrvScale(7, 120), 9); // (840 + 48) div 96
}

TEST(StateImage, GreenAndGrey)
{
    TStateImage img;
    EXPECT_TRUE(img.YellowShown());
    img.ShowGreen();
    EXPECT_TRUE(img.GreenShown());
    EXPECT_FALSE(img.GreyShown());
    EXPECT_FALSE(img.YellowShown());
    img.ShowGrey();
    EXPECT_TRUE(img.GreyShown());
    EXPECT_FALSE(img.GreenShown());
    EXPECT_EQ(img.size(), QSize(16, 16));
}

TEST(RollOverButton, GlyphFollowsHotAndPressedStates)
{
    QWidget w;
    auto* b = new TOrvRollOverSpeedBtn(&w);
    b->setGeometry(10, 10, 60, 24);
    QPixmap normal(8, 8), down(8, 8), hot(8, 8);
    normal.fill(Qt::white);
    down.fill(Qt::black);
    hot.fill(Qt::red);
    b->SetGlyphNormal(normal);
    b->SetGlyphDown(down);
    b->SetGlyphHighLighted(hot);
    QFont bold = b->font();
    bold.setBold(true);
    b->SetFontHighLighted(bold);
    int enters = 0, leaves = 0;
    b->OnMouseEnter = [&] { ++enters; };
    b->OnMouseLeave = [&] { ++leaves; };
    w.show();

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(15, 15));
    QApplication::sendEvent(b, &enter);
    EXPECT_TRUE(b->Hot());
    EXPECT_EQ(b->CurrentGlyph().toImage(), hot.toImage());
    EXPECT_TRUE(b->font().bold());
    QTest::mousePress(b, Qt::LeftButton);
    EXPECT_EQ(b->CurrentGlyph().toImage(), down.toImage());
    QTest::mouseRelease(b, Qt::LeftButton);
    EXPECT_EQ(b->CurrentGlyph().toImage(), hot.toImage());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(b, &leave);
    EXPECT_EQ(b->CurrentGlyph().toImage(), normal.toImage());
    EXPECT_FALSE(b->font().bold());
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(leaves, 1);
}

TEST(UrlLabel, OpensTheUrlOrTheCaption)
{
    QStringList opened;
    auto saved = TUrlLabel::Opener();
    TUrlLabel::Opener() = [&](const QString& t) { opened << t; return true; };
    TUrlLabel label;
    label.setText("www.example.org");
    label.resize(120, 20);
    label.show();
    QTest::mouseClick(&label, Qt::LeftButton);
    label.SetURL("  https://example.org/x  ");
    QTest::mouseClick(&label, Qt::LeftButton);
    label.SetURL("");
    label.setText("   ");
    QTest::mouseClick(&label, Qt::LeftButton);
    TUrlLabel::Opener() = saved;
    EXPECT_EQ(opened, QStringList({ "www.example.org", "https://example.org/x" }));
    ASSERT_EQ(label.CopyMenu()->actions().size(), 1);
    EXPECT_EQ(label.CopyMenu()->actions().first()->text(), "Copy");
}

TEST(AboutBox, ShowsTitleAndVersion)
{
    core::SetProgramVersion("2.0", "2.0.0.17");
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), "Info");
    EXPECT_EQ(box.Version->text(), "Version 2.0   (2.0.0.17)");
    EXPECT_EQ(box.size(), QSize(263, 259));
    box.show();
    EXPECT_EQ(box.UrlLabelRecommend->x(), box.LabelRecommend->x() + box.LabelRecommend->width() + 3);
    QTest::mouseClick(box.BitBtn1, Qt::LeftButton);
    EXPECT_FALSE(box.isVisible());
}

namespace {
// Records every call of the help backend.
struct FakeBackend : THtmlHelpBackend {
    struct Call { QString file; unsigned command; THelpData data; };
    std::vector<Call>* calls;
    bool loaded = false;
    QWidget* window;
    explicit FakeBackend(std::vector<Call>* c, QWidget* w) : calls(c), window(w) {}
    bool LoadHHCtrl() override { return loaded = true; }
    bool HHCtrlLoaded() const override { return loaded; }
    void UnloadHHCtrl() override { loaded = false; }
    QWidget* HtmlHelp(QWidget*, const QString& file, unsigned command, const THelpData& data) override
    {
        calls->push_back({ file, command, data });
        return window;
    }
};

class HelpRouterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetHelpBackend(std::make_unique<FakeBackend>(&calls, &helpWindow));
        SetApplicationHelpFile("/opt/quillory/Quillory.chm");
        router = std::make_unique<THelpRouter>(&owner);
    }
    void TearDown() override
    {
        router.reset();
        SetHelpBackend(nullptr);
    }
    std::vector<FakeBackend::Call> calls;
    QWidget helpWindow, owner;
    std::unique_ptr<THelpRouter> router;
};
}

TEST_F(HelpRouterTest, CommandMapping)
{
    struct Case { unsigned command; qintptr data; unsigned hh; };
    const Case cases[] = {
        { HELP_CONTEXT, 3, HH_HELP_CONTEXT },
        { HELP_CONTENTS, 0, HH_DISPLAY_TOC },
        { HELP_FINDER, 0, HH_DISPLAY_TOC },
        { HELP_TAB, 0, HH_DISPLAY_TOC },
        { HELP_TAB, 1, HH_DISPLAY_INDEX },
        { HELP_QUIT, 0, HH_CLOSE_ALL },
    };
    for (const Case& c : cases) {
        calls.clear();
        EXPECT_TRUE(ApplicationHelpCommand(c.command, c.data));
        ASSERT_EQ(calls.size(), 1u) << c.command;
        EXPECT_EQ(calls[0].command, c.hh) << c.command;
        if (c.command != HELP_QUIT) {
            EXPECT_EQ(calls[0].file, "/opt/quillory/Quillory.chm");
        }
    }
    EXPECT_EQ(calls[0].data.number, 0);

    calls.clear();
    const QString keyword = "Versand";
    EXPECT_TRUE(ApplicationHelpCommand(HELP_KEY, reinterpret_cast<qintptr>(&keyword)));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].command, unsigned(HH_DISPLAY_INDEX));
    EXPECT_EQ(calls[0].data.text, "Versand");

    calls.clear();
    EXPECT_FALSE(ApplicationHelpCommand(999, 0));
    EXPECT_TRUE(calls.empty());
}

TEST_F(HelpRouterTest, PopupsUseTheStoredPositionOnce)
{
    EXPECT_FALSE(ApplicationHelpCommand(HELP_SETPOPUP_POS, (40 << 16) | 30));
    EXPECT_EQ(router->PopupPosition(), QPoint(30, 40));
    EXPECT_TRUE(ApplicationHelpCommand(HELP_CONTEXTPOPUP, 77));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].command, unsigned(HH_DISPLAY_TEXT_POPUP));
    EXPECT_EQ(calls[0].file, "/opt/quillory/Quillory.chm::/CSHelp.txt");
    EXPECT_EQ(calls[0].data.popup.idString, 77u);
    EXPECT_EQ(calls[0].data.popup.pt, QPoint(30, 40));
    EXPECT_EQ(calls[0].data.popup.cbStruct, 52);
    EXPECT_EQ(calls[0].data.popup.pszFont, "MS Sans Serif, 8");
    EXPECT_EQ(router->PopupPosition(), QPoint(0, 0));

    calls.clear();
    router->ShowPopup(5, 6, "Text", 12);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].file, "") << "a text pop-up passes no file";
    EXPECT_EQ(calls[0].data.popup.idString, 0u);

    router->ShowType = stMain;
    calls.clear();
    ApplicationHelpCommand(HELP_CONTEXTPOPUP, 9);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].command, unsigned(HH_HELP_CONTEXT));
}

TEST_F(HelpRouterTest, ShowTopicBuildsTheAddress)
{
    EXPECT_TRUE(router->ShowTopic("/opt/quillory/Quillory.chm", "faq"));
    EXPECT_EQ(calls.back().file, "/opt/quillory/Quillory.chm::/faq.htm");
    EXPECT_EQ(calls.back().command, unsigned(HH_DISPLAY_TOPIC));
    router->ShowTopic("/x/help.hlp", "seite.html");
    EXPECT_EQ(calls.back().file, "/x/help.chm::/seite.html");
    router->ShowTopic("", "");
    EXPECT_EQ(calls.back().file, "/opt/quillory/Quillory.chm");
    router->ShowTopic("", "Übersicht & Hilfe");
    EXPECT_EQ(calls.back().file, "/opt/quillory/Quillory.chm::/Übersicht & Hilfe.htm") << "no cleaning without ValidateID";
    router->ValidateID = true;
    router->ShowTopic("", "Übersicht & Hilfe");
    EXPECT_EQ(calls.back().file, "/opt/quillory/Quillory.chm::/ubersicht_+_Hilfe.htm");
    EXPECT_EQ(THelpRouter::CleanTopic("a.b%c \"'/,:?\\|\u00bf*<>[]Ää Öö Üüß"), "a_b_c_+~~()aa_oo_uus");
}

TEST_F(HelpRouterTest, OnlyOneRouterAndTheHookIsRestored)
{
    try {
        THelpRouter second(&owner);
        FAIL() << "a second router was created";
    } catch (const EHelpRouterError& e) {
        EXPECT_EQ(e.message(), "Multiple instances of THelpRouter are not allowed");
    }
    router.reset();
    EXPECT_FALSE(ApplicationHelpCommand(HELP_CONTENTS, 0));
    EXPECT_TRUE(calls.empty());
}

TEST_F(HelpRouterTest, WinHelpAnswersFalseAndF1AsksForTheContext)
{
    router->HelpType = htWinhelp;
    EXPECT_FALSE(ApplicationHelpCommand(HELP_CONTEXT, 3));
    EXPECT_TRUE(calls.empty());
    router->HelpType = htHTMLhelp;

    auto* edit = new QLabel(&owner);
    owner.setProperty("HelpContext", 3);
    owner.show();
    edit->setFocusPolicy(Qt::StrongFocus);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_F1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].command, unsigned(HH_HELP_CONTEXT));
    EXPECT_EQ(calls[0].data.number, 3);
}

TEST(ChmHelp, MissingHelpFileGivesNoWindowAndAGermanMessage)
{
    QStringList messages;
    auto saved = ChmHelpMessage();
    ChmHelpMessage() = [&](QWidget*, const QString& text) { messages << text; };
    std::unique_ptr<THtmlHelpBackend> backend = CreateChmHelpBackend();
    backend->LoadHHCtrl();
    THelpData d;
    EXPECT_EQ(backend->HtmlHelp(nullptr, "/nowhere/Quillory.chm", HH_DISPLAY_TOC, d), nullptr);
    ChmHelpMessage() = saved;
    EXPECT_EQ(messages, QStringList({ "Die Hilfedatei \"/nowhere/Quillory.chm\" wurde nicht gefunden." }));
}
