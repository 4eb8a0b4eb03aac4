#include "importwizard/AssociationBox.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

// ---- TAssociationRow ---------------------------------------------------------------------

TAssociationRow::TAssociationRow(QWidget* parent)
    : QWidget(parent)
{
    fComboBox = new QComboBox(this);
    fComboBox->setObjectName(QStringLiteral("fComboBox"));
    fComboBox->setEditable(true);
    fComboBox->setInsertPolicy(QComboBox::NoInsert);
    fComboBox->setGeometry(0, 0, 140, TAssociationBox::RowHeight - 2);
    fLabel = new QLabel(this);
    fLabel->setObjectName(QStringLiteral("fLabel"));
    fLabel->move(150, 4);
    // A chosen value shows from its start (a long one would otherwise show only its end).
    connect(fComboBox, &QComboBox::activated, this, [this] { ShowTextStart(); });
}

void TAssociationRow::ShowTextStart()
{
    if (QLineEdit* edit = fComboBox->lineEdit())
        edit->setCursorPosition(0);
}

QString TAssociationRow::DisplayText(const QString& value)
{
    if (value.size() <= MaxShownLength)
        return value;
    // Do not split a surrogate pair.
    qsizetype keep = MaxShownLength - 1;
    if (value.at(keep - 1).isHighSurrogate())
        --keep;
    return value.left(keep) + QChar(0x2026);
}

void TAssociationRow::SetItems(const QStringList& values)
{
    // A value of a megabyte as an item makes every size calculation of the combo crawl, and the
    // edit field (32767 characters at most) could no longer match its own item.
    QStringList shown;
    shown.reserve(values.size());
    for (const QString& v : values)
        shown.append(DisplayText(v));
    const QString remembered = fComboBox->currentText();
    fComboBox->clear();
    fComboBox->addItems(shown);
    if (FKeepMode) {
        fComboBox->setCurrentIndex(-1);
        return;
    }
    int found = -1;
    for (int i = 0; i < shown.size(); ++i) {
        if (shown[i].compare(remembered, Qt::CaseInsensitive) == 0) {
            found = i;
            break;
        }
    }
    fComboBox->setCurrentIndex(found);
    ShowTextStart();
}

void TAssociationRow::SetCaption(const QString& text)
{
    fLabel->setText(text);
    fLabel->adjustSize();
}

void TAssociationRow::SetItemIndex(int i)
{
    fComboBox->setCurrentIndex(i >= 0 && i < fComboBox->count() ? i : -1);
    ShowTextStart();
}

int TAssociationRow::GetItemIndex() const
{
    const int index = fComboBox->currentIndex();
    const QString text = fComboBox->currentText();
    if (index >= 0 && fComboBox->itemText(index) == text)
        return index;
    // The user typed into the combo: the typed text selects the item it names, if any. An empty
    // text chooses nothing, also when the source has an empty value.
    if (text.isEmpty())
        return -1;
    for (int i = 0; i < fComboBox->count(); ++i) {
        if (fComboBox->itemText(i).compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString TAssociationRow::Text() const
{
    return fComboBox->currentText();
}

// ---- TAssociationBox ---------------------------------------------------------------------

TAssociationBox::TAssociationBox(QWidget* parent)
    : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FContent = new QWidget;
    FContent->setObjectName(QStringLiteral("AssociationRows"));
    FContent->setAutoFillBackground(false);
    setWidget(FContent);
    viewport()->setAutoFillBackground(false);
}

void TAssociationBox::SetDescriptions(const QStringList& descriptions)
{
    fDescriptions = descriptions;
    RebuildRows();
}

void TAssociationBox::SetDropDownValues(const QStringList& values)
{
    const QStringList remembered = GetSelectedItems();
    fDropDownValues = values;
    for (TAssociationRow* row : std::as_const(FRows)) {
        row->SetKeepMode(FKeep);
        row->SetItems(fDropDownValues);
    }
    if (FKeep)
        SetSelectedItems(remembered);
}

void TAssociationBox::RebuildRows()
{
    QStringList remembered = GetSelectedItems();
    qDeleteAll(FRows);
    FRows.clear();
    const int n = int(fDescriptions.size());
    if (n == 0) {
        LayoutRows();
        return;
    }
    for (int i = n - 1; i >= 0; --i) {
        auto* row = new TAssociationRow(FContent);
        row->setObjectName(QStringLiteral("AssociationRow%1").arg(i));
        row->SetItems(fDropDownValues);
        row->SetCaption(fDescriptions[i]);
        row->show();
        FRows.append(row);
    }
    LayoutRows();
    if (remembered.size() < n)
        remembered.prepend(QStringLiteral("-1"));
    SetSelectedItems(remembered);
}

void TAssociationBox::LayoutRows()
{
    const int n = int(FRows.size());
    // Room for the vertical scroll bar when the rows do not fit.
    int w = width() - 2 * frameWidth();
    if (n * RowHeight > height() - 2 * frameWidth())
        w -= verticalScrollBar()->sizeHint().width();
    for (int j = 0; j < n; ++j)
        FRows[j]->setGeometry(0, (n - 1 - j) * RowHeight, w, RowHeight);
    FContent->resize(w, n * RowHeight);
}

void TAssociationBox::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    LayoutRows();
}

void TAssociationBox::SetSelectedItems(const QStringList& mapping)
{
    const qsizetype k = mapping.size();
    const qsizetype m = FRows.size();
    const qsizetype skip = k > m ? k - m : 0;
    for (qsizetype j = 0; j < std::min(k, m); ++j) {
        bool ok = false;
        const int v = mapping[skip + j].toInt(&ok);
        FRows[j]->SetItemIndex(ok ? v : -1);
    }
}

QStringList TAssociationBox::GetSelectedItems()
{
    fSelectedItems.clear();
    for (const TAssociationRow* row : std::as_const(FRows))
        fSelectedItems.append(QString::number(row->GetItemIndex()));
    return fSelectedItems;
}

QStringList TAssociationBox::GetSelectedTexts() const
{
    QStringList texts;
    for (const TAssociationRow* row : FRows)
        texts.append(row->Text());
    return texts;
}
