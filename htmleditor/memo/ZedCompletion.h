#pragma once
// The windows of the memo's typing aids: the completion popup with its list, and the
// parameter-hint window.
#include "htmleditor/memo/ZedAssist.h"

#include <QImage>
#include <QListWidget>
#include <QWidget>

class TZedCustomMemo;

// The 16 x 16 pictures of the entry kinds by resource name ("Zarn_VAR", "Zarn_PROP",
// "Zarn_EVENT", "Zarn_PROC", "Zarn_METHOD"); a null image for other names.
QImage ZarnBitmap(const QString& name);

// The completion list "_lc": one row per entry with the kind image, the kind word in its kind
// colour, the name in bold and the parameter text.
class TAutoCompletionListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TAutoCompletionListBox(QWidget* parent);
    void SetEntries(const TCompletionEntries& entries);
    const TCompletionEntries& Entries() const { return m_entries; }
    // The entry of the selected row; empty when none.
    TCompletionEntry Selected() const;
    void SetLook(const TAutoCompletion& look);
    // Images 0 to 4 of a list replace the kind pictures (null: the built-in pictures).
    void SetKindImages(const class QList<QImage>& images);
    QImage KindImage(int kind) const;
    bool ShowImages() const { return m_showImages; }
    int ItemHeight() const { return m_itemHeight; }
    int KindColumnWidth() const { return m_kindWidth; }
    TColor KindColor(int kind) const;
    // The width the list needs: widest kind word, widest bold name with parameters, images, margins.
    int NeededWidth() const;

private:
    friend class TZedCompletionDelegate;
    TCompletionEntries m_entries;
    QImage m_images[5];
    TColor m_colors[7] = {};
    bool m_showImages = false;
    int m_kindWidth = 0;
    int m_itemHeight = 16;
};

// The completion popup "_fa": a frameless popup holding the list; closing only hides it.
class TZedAutoform : public QWidget {
    Q_OBJECT
public:
    explicit TZedAutoform(QWidget* owner);
    TAutoCompletionListBox* List() const { return m_list; }
    // Raised when the popup loses the activation (a click elsewhere): the memo cancels.
    std::function<void()> OnDeactivate;

protected:
    void closeEvent(class QCloseEvent* e) override;
    void hideEvent(class QHideEvent* e) override;

private:
    TAutoCompletionListBox* m_list;
    bool m_closing = false;
};

// The parameter hint "_hf": three text parts, the current one bold; it never takes the focus
// and a mouse press on it hands the focus back to the memo.
class TZedHintForm : public QWidget {
    Q_OBJECT
public:
    explicit TZedHintForm(TZedCustomMemo* memo);
    void SetParts(const THintParts& parts) { m_parts = parts; update(); }
    const THintParts& Parts() const { return m_parts; }
    void SetColors(TColor text, TColor back);
    // Width: the normal and the bold part plus 6; height: the text height of "h,g_`" plus 4.
    QSize NeededSize() const;

protected:
    void paintEvent(class QPaintEvent* e) override;
    void mousePressEvent(class QMouseEvent* e) override;
    void closeEvent(class QCloseEvent* e) override;

private:
    TZedCustomMemo* m_memo;
    THintParts m_parts;
    TColor m_text = gfx::clBlack;
    TColor m_back = gfx::clInfoBk;
};
