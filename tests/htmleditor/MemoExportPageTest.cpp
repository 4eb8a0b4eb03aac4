// The source view's HTML export, loaded into a web page: the text reads back as the memo holds
// it and the styles of keywords and comments arrive.
#include "htmleditor/WebEngineStart.h"
#include "htmleditor/memo/ZedMemo.h"

#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

QVariant RunScript(htmleditor::TWebView* view, const QString& script)
{
    QVariant result;
    QEventLoop loop;
    view->RunJavaScript(script, true, [&](const QVariant& v) {
        result = v;
        loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    return result;
}

}  // namespace

TEST(MemoExportPage, TheExportReadsBackAsTheMemoText)
{
    TZedMemo memo;
    TZedWebMemoStyler styler;
    memo.SetSyntaxStyles(&styler);
    const QStringList lines{QStringLiteral("<b>AT&amp;T</b> alert"), QStringLiteral("<!-- note --> x < y")};
    memo.SetLines(lines);
    const QString html = QStringLiteral("<html><body><pre id=\"p\">") + memo.ExportHtml().join(QLatin1Char('\n'))
                         + QStringLiteral("</pre></body></html>");

    htmleditor::PrepareWebEngine();
    QWidget parent;
    htmleditor::TWebView* view = htmleditor::WebEngineModule().CreateEditorView(&parent, QString(), nullptr);
    bool loaded = false;
    QEventLoop loop;
    view->OnLoadFinished = [&](bool ok) {
        loaded = ok;
        loop.quit();
    };
    htmleditor::TLoadWaitEnd end{view};
    view->SetHtml(html, QUrl(QStringLiteral("about:blank")));
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    ASSERT_TRUE(loaded);

    EXPECT_EQ(RunScript(view, QStringLiteral("document.getElementById('p').textContent")).toString(), lines.join(QLatin1Char('\n')));
    // "alert" is a script function keyword: bold in 0x008000 (green); the comment is italic.
    const QString style = RunScript(view, QStringLiteral(R"(
        (function() {
            const fonts = Array.from(document.querySelectorAll('font'));
            const of = t => getComputedStyle(fonts.find(f => f.textContent.includes(t)));
            const k = of('alert'), c = of('note');
            return [k.fontWeight, k.color, c.fontStyle].join('|');
        })())"))
                              .toString();
    EXPECT_EQ(style, QStringLiteral("700|rgb(0, 128, 0)|italic"));
}
