#pragma once
// The base of spelling or syntax checkers that a memo calls while the user types.
#include <QObject>
#include <QString>

class TZedMemoModel;

// What the memo asks of its checker on Enter, Tab and blank.
enum TZedCheckMode { cmNone = 0, cmCorrectLine = 1, cmCheckLine = 2, cmCorrectWord = 3, cmCheckWord = 4 };

class TZedMemoChecker : public QObject {
    Q_OBJECT
public:
    explicit TZedMemoChecker(QObject* owner = nullptr) : QObject(owner) {}
    ~TZedMemoChecker() override;

    TZedMemoModel* Memo() const { return m_memo; }
    // Also makes the memo use this checker.
    void SetMemo(TZedMemoModel* memo);
    int CheckMode = cmNone;

    // Clears the line's error marks.
    virtual void CheckLine(int line);
    virtual void CheckWord(int /*line*/, int /*column*/, const QString& /*word*/) {}
    virtual void CorrectLine(int /*line*/) {}
    virtual void CorrectWord(int /*line*/, int /*column*/, QString& /*word*/) {}
    void CheckAllLines();
    void CorrectAllLines();

private:
    friend class TZedMemoModel;
    TZedMemoModel* m_memo = nullptr;
};
