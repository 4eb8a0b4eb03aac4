#pragma once
// The strip under a grid's cells that stays in place while the rows scroll, and the template its
// custom preview shows. The grid it belongs to paints it and answers its hints.
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

class QAbstractScrollArea;

namespace grid {

// What the panel asks of its grid.
class IFooterHost {
public:
    virtual ~IFooterHost() = default;
    // Paints the panel's content into the rectangle.
    virtual void PaintFooter(QPainter& painter, const QRect& rect) = 0;
    // The column painted at the panel's x coordinate; -1 when none.
    virtual int FooterColumnAt(int x) = 0;
    // The hint for a column; empty for none.
    virtual QString FooterHint(int col) = 0;
    // Keeps the room under the cells (the scroll area's bottom viewport margin) for the panel.
    virtual void SetFooterMargin(int height) = 0;
};

class TFooterPanel : public QWidget {
    Q_OBJECT
public:
    // Sits in the scroll area's bottom viewport margin, right under the cells.
    TFooterPanel(IFooterHost* host, QAbstractScrollArea* area);

    // The panel's height (0: hidden); the scroll area's bottom margin follows it.
    void SetPanelHeight(int height);
    int PanelHeight() const { return m_height; }
    // The column under the mouse for hints (-1 when none).
    int HintColumn() const { return m_hintColumn; }
    bool ShowHints = false;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();
    IFooterHost* m_host;
    QAbstractScrollArea* m_area;
    QPointer<QWidget> m_viewport;   // the area's, watched for its geometry
    int m_height = 0;
    int m_hintColumn = -1;
};

// A custom preview template filled in: every "<#" number ">" becomes the text of that column
// (a column that does not exist gives ""); a tag whose number is not a number is removed; a "<#"
// without a closing ">" and everything after it stay as they are.
QString ExpandFooterTemplate(const QString& tmpl, const std::function<QString(int col)>& columnText);

} // namespace grid
