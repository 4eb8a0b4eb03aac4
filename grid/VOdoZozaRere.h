#pragma once
// The grid's rich edit: the hidden one renders and measures rich-text cells, another one edits
// them in place. It remembers the size its content last asked for.
#include <QTextEdit>

namespace grid {

class TZedEzeravIvur;

class VOdoZozaRere : public QTextEdit {
    Q_OBJECT
    Q_PROPERTY(int ReqWidth READ ReqWidth)
    Q_PROPERTY(int ReqHeight READ ReqHeight)
public:
    explicit VOdoZozaRere(TZedEzeravIvur* grid);

    TZedEzeravIvur* Grid() const { return m_grid; }
    // The size the content last asked for (width of its widest line, height of all lines).
    int ReqWidth() const { return m_reqWidth; }
    int ReqHeight() const { return m_reqHeight; }
    // Takes the content's size now (the document's ideal width and its height).
    void UpdateRequestedSize();
    void Lock() { m_locked = true; }
    void Unlock() { m_locked = false; }
    bool Locked() const { return m_locked; }

private:
    TZedEzeravIvur* m_grid;
    int m_reqWidth = 0;
    int m_reqHeight = 0;
    bool m_locked = false;
};

} // namespace grid
