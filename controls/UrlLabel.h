#pragma once
// TUrlLabel: a label that opens its URL (or its caption) when clicked.
#include <QColor>
#include <QLabel>
#include <functional>

class QMenu;

class TUrlLabel : public QLabel {
    Q_OBJECT
public:
    explicit TUrlLabel(QWidget* parent = nullptr);

    QString URL() const { return FURL; }
    void SetURL(const QString& url) { FURL = url; }
    QColor ActiveColor() const { return FActiveColor; }
    void SetActiveColor(const QColor& c) { FActiveColor = c; }
    QMenu* CopyMenu() const { return FMenu; }

    // Opens a target; replaceable (tests, other shells). Default: the desktop's opener.
    static std::function<bool(const QString&)>& Opener();

    std::function<void()> OnClick;

protected:
    virtual void Click();
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    QString FURL;
    QColor FActiveColor = QColor(0x80, 0x00, 0x80);
    QColor FSavedColor;
    QMenu* FMenu;
};
