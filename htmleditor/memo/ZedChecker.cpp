#include "htmleditor/memo/ZedChecker.h"

#include "htmleditor/memo/ZedMemoModel.h"

TZedMemoChecker::~TZedMemoChecker()
{
    if (m_memo && m_memo->m_checker == this)
        m_memo->m_checker = nullptr;
}

void TZedMemoChecker::SetMemo(TZedMemoModel* memo)
{
    if (memo)
        memo->SetMemoChecker(this);
    else if (m_memo)
        m_memo->SetMemoChecker(nullptr);
}

void TZedMemoChecker::CheckLine(int line)
{
    if (!m_memo)
        return;
    if (TLineProp* p = line >= 0 && line < m_memo->Lines().Count() ? m_memo->Lines().Props(line) : nullptr) {
        p->ErrorStarts.clear();
        p->ErrorLengths.clear();
    }
}

void TZedMemoChecker::CheckAllLines()
{
    for (int i = 0; m_memo && i < m_memo->Lines().Count(); ++i)
        CheckLine(i);
}

void TZedMemoChecker::CorrectAllLines()
{
    for (int i = 0; m_memo && i < m_memo->Lines().Count(); ++i)
        CorrectLine(i);
}
