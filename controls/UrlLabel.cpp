#include "controls/UrlLabel.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QMenu>
#include <QMouseEvent>
#include <QUrl>

std::function<bool(const QString&)>& TUrlLabel::Opener()
{
    static std::function<bool(const QString&)> opener = [](const QString& target) {
        return QDesktopServices::openUrl(QUrl::fromUserInput(target));
    };
    return opener;
}

TUrlLabel::TUrlLabel(QWidget* parent) : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 0xFF));
    setPalette(pal);
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    FMenu = new QMenu(this);
    FMenu->addAction(QStringLiteral("Copy"), this, [this] { QApplication::clipboard()->setText(text()); });
}

void TUrlLabel::Click()
{
    if (OnClick)
        OnClick();
    const QString target = FURL.trimmed().isEmpty() ? text() : FURL.trimmed();
    if (!target.trimmed().isEmpty() && Opener())
        Opener()(target.trimmed());
}

void TUrlLabel::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        FSavedColor = palette().color(QPalette::WindowText);
        QPalette pal = palette();
        pal.setColor(QPalette::WindowText, FActiveColor);
        setPalette(pal);
    }
    QLabel::mousePressEvent(e);
}

void TUrlLabel::mouseReleaseEvent(QMouseEvent* e)
{
    QLabel::mouseReleaseEvent(e);
    if (e->button() != Qt::LeftButton)
        return;
    if (FSavedColor.isValid()) {
        QPalette pal = palette();
        pal.setColor(QPalette::WindowText, FSavedColor);
        setPalette(pal);
        FSavedColor = QColor();
    }
    if (rect().contains(e->position().toPoint()))
        Click();
}

void TUrlLabel::contextMenuEvent(QContextMenuEvent* e)
{
    FMenu->popup(e->globalPos());
    e->accept();
}
