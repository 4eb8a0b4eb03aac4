#pragma once
// The string grid's search bar: its published options (TSearchFooter) and the panel docked at the
// grid's bottom edge (TSearchPanel) with a close button, a text box, "Find next", "Find previous",
// a "Highlight" toggle and a "Match case" check box. The grid's search handlers read the panel
// through ISearchBar.
#include "grid/ZodUvuz.h"
#include "platform/graphics/Graphics.h"
#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QToolButton>
#include <QWidget>
#include <functional>

namespace grid {

class TSearchFooter : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
    Q_PROPERTY(bool AutoSearch READ AutoSearch WRITE SetAutoSearch)
    Q_PROPERTY(int Color READ Color WRITE SetColor)
    Q_PROPERTY(int ColorTo READ ColorTo WRITE SetColorTo)
    Q_PROPERTY(QString FindNextCaption READ FindNextCaption WRITE SetFindNextCaption)
    Q_PROPERTY(QString FindPrevCaption READ FindPrevCaption WRITE SetFindPrevCaption)
    Q_PROPERTY(QString HighLightCaption READ HighLightCaption WRITE SetHighLightCaption)
    Q_PROPERTY(QString MatchCaseCaption READ MatchCaseCaption WRITE SetMatchCaseCaption)
    Q_PROPERTY(QString HintClose READ HintClose WRITE SetHintClose)
    Q_PROPERTY(QString HintFindNext READ HintFindNext WRITE SetHintFindNext)
    Q_PROPERTY(QString HintFindPrev READ HintFindPrev WRITE SetHintFindPrev)
    Q_PROPERTY(QString HintHighlight READ HintHighlight WRITE SetHintHighlight)
    Q_PROPERTY(bool ShowClose READ ShowClose WRITE SetShowClose)
    Q_PROPERTY(bool ShowFindNext READ ShowFindNext WRITE SetShowFindNext)
    Q_PROPERTY(bool ShowFindPrev READ ShowFindPrev WRITE SetShowFindPrev)
    Q_PROPERTY(bool ShowHighLight READ ShowHighLight WRITE SetShowHighLight)
    Q_PROPERTY(bool ShowMatchCase READ ShowMatchCase WRITE SetShowMatchCase)
    Q_PROPERTY(bool SearchActiveColumnOnly READ SearchActiveColumnOnly WRITE SetSearchActiveColumnOnly)
    Q_PROPERTY(int SearchColumn READ SearchColumn WRITE SetSearchColumn)
public:
    explicit TSearchFooter(QObject* owner = nullptr) : QObject(owner) {}

    // Every setter stores and raises OnChange; Visible and the Show... flags only on a change.
    bool Visible() const { return m_visible; }
    void SetVisible(bool v);
    bool AutoSearch() const { return m_autoSearch; }
    void SetAutoSearch(bool v) { m_autoSearch = v; changed(); }
    TColor Color() const { return m_color; }
    void SetColor(TColor v) { m_color = v; changed(); }
    TColor ColorTo() const { return m_colorTo; }
    void SetColorTo(TColor v) { m_colorTo = v; changed(); }
    QString FindNextCaption() const { return m_findNextCaption; }
    void SetFindNextCaption(const QString& v) { m_findNextCaption = v; changed(); }
    QString FindPrevCaption() const { return m_findPrevCaption; }
    void SetFindPrevCaption(const QString& v) { m_findPrevCaption = v; changed(); }
    QString HighLightCaption() const { return m_highLightCaption; }
    void SetHighLightCaption(const QString& v) { m_highLightCaption = v; changed(); }
    QString MatchCaseCaption() const { return m_matchCaseCaption; }
    void SetMatchCaseCaption(const QString& v) { m_matchCaseCaption = v; changed(); }
    QString HintClose() const { return m_hintClose; }
    void SetHintClose(const QString& v) { m_hintClose = v; changed(); }
    QString HintFindNext() const { return m_hintFindNext; }
    void SetHintFindNext(const QString& v) { m_hintFindNext = v; changed(); }
    QString HintFindPrev() const { return m_hintFindPrev; }
    void SetHintFindPrev(const QString& v) { m_hintFindPrev = v; changed(); }
    QString HintHighlight() const { return m_hintHighlight; }
    void SetHintHighlight(const QString& v) { m_hintHighlight = v; changed(); }
    bool ShowClose() const { return m_showClose; }
    void SetShowClose(bool v) { setFlag(m_showClose, v); }
    bool ShowFindNext() const { return m_showFindNext; }
    void SetShowFindNext(bool v) { setFlag(m_showFindNext, v); }
    bool ShowFindPrev() const { return m_showFindPrev; }
    void SetShowFindPrev(bool v) { setFlag(m_showFindPrev, v); }
    bool ShowHighLight() const { return m_showHighLight; }
    void SetShowHighLight(bool v) { setFlag(m_showHighLight, v); }
    bool ShowMatchCase() const { return m_showMatchCase; }
    void SetShowMatchCase(bool v) { setFlag(m_showMatchCase, v); }
    bool SearchActiveColumnOnly() const { return m_searchActiveColumnOnly; }
    void SetSearchActiveColumnOnly(bool v) { m_searchActiveColumnOnly = v; changed(); }
    int SearchColumn() const { return m_searchColumn; }
    void SetSearchColumn(int v) { m_searchColumn = v; changed(); }
    // Set from AutoThemeAdapt when the grid has loaded; notifies.
    bool ThemeAdapt() const { return m_themeAdapt; }
    void SetThemeAdapt(bool v) { m_themeAdapt = v; changed(); }

    // Copies everything but AutoSearch from another search footer (one notification at the end).
    void Assign(const TSearchFooter* source);

    std::function<void(QObject* sender)> OnChange;

private:
    void changed() { if (OnChange) OnChange(this); }
    void setFlag(bool& flag, bool v) { if (flag != v) { flag = v; changed(); } }
    bool m_visible = false;
    bool m_autoSearch = true;
    TColor m_color = gfx::clWhite;
    TColor m_colorTo = gfx::clBtnFace;
    QString m_findNextCaption = QStringLiteral("Find next");
    QString m_findPrevCaption = QStringLiteral("Find previous");
    QString m_highLightCaption = QStringLiteral("Highlight");
    QString m_matchCaseCaption = QStringLiteral("Match case");
    QString m_hintClose = QStringLiteral("Close");
    QString m_hintFindNext = QStringLiteral("Find next occurence");
    QString m_hintFindPrev = QStringLiteral("Find previous occurence");
    QString m_hintHighlight = QStringLiteral("Highlight occurences");
    bool m_showClose = true;
    bool m_showFindNext = true;
    bool m_showFindPrev = true;
    bool m_showHighLight = true;
    bool m_showMatchCase = true;
    bool m_searchActiveColumnOnly = false;
    int m_searchColumn = -1;
    bool m_themeAdapt = false;
};

// The panel: a child of the grid, kept along the grid's bottom edge below the cells.
class TSearchPanel : public QWidget, public ISearchBar {
    Q_OBJECT
public:
    explicit TSearchPanel(TZedEzeravIvur* grid);
    ~TSearchPanel() override;

    TZedEzeravIvur* Grid() const { return m_grid; }
    TSearchFooter* SearchFooter() const { return m_footer; }

    TColor Color() const { return m_color; }
    void SetColor(TColor v) { m_color = v; update(); }
    TColor ColorTo() const { return m_colorTo; }
    void SetColorTo(TColor v) { m_colorTo = v; update(); }

    QLineEdit* Edit() const { return m_edit; }
    QToolButton* ForwardButton() const { return m_next; }
    QToolButton* BackwardButton() const { return m_prev; }
    QToolButton* CloseButton() const { return m_close; }
    QToolButton* HighlightButton() const { return m_highlight; }
    QCheckBox* MatchCaseBox() const { return m_matchCase; }

    // The panel follows the grid's SearchFooter.
    void ApplySearchFooter();

    std::function<void(QObject*)> OnForwardClick;
    std::function<void(QObject*)> OnBackwardClick;
    std::function<void(QObject*)> OnEditChange;
    std::function<void(QObject*)> OnHighlightClick;
    std::function<void(QObject*)> OnExitClick;

    // ISearchBar
    QString EditText() const override;
    bool HighlightDown() const override;
    bool MatchCase() const override;
    bool AutoSearch() const override;
    bool SearchActiveColumnOnly() const override;
    int SearchColumn() const override;
    void SetEditColor(gfx::TColor color) override;
    void SetVisible(bool visible) override;
    QWidget* BarWidget() override { return this; }
    int BarHeight() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void editChanged();
    void align();
    TZedEzeravIvur* m_grid;
    TSearchFooter* m_footer;
    QLineEdit* m_edit;
    QToolButton* m_next;
    QToolButton* m_prev;
    QToolButton* m_close;
    QToolButton* m_highlight;
    QCheckBox* m_matchCase;
    TColor m_color = gfx::clBtnFace;
    TColor m_colorTo = gfx::clNone;
    int m_barHeight = 0;
};

// The grid's search bar, created with its options on first use (a child of the grid named
// "SearchPanel", its options "SearchFooter").
TSearchPanel* GridSearchPanel(TZedEzeravIvur* grid);
inline TSearchFooter* GridSearchFooter(TZedEzeravIvur* grid) { return GridSearchPanel(grid)->SearchFooter(); }

} // namespace grid
