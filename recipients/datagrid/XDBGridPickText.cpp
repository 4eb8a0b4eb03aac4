#include "recipients/datagrid/XDBGridPickText.h"

namespace xdb {

bool PickTextMapping(TXColumn* column)
{
    return column && (column->PickOptions() & poSelectPickText) && column->PickText().Count() > 0;
}

namespace {

// The text as a 1-based item number, made 0-based; -1 for anything that is not a number.
int ItemIndexOf(const QString& text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok ? n - 1 : -1;
}

} // namespace

QString PickGetText(TXColumn* column, const QString& text)
{
    if (!column)
        return text;
    const TXPickOptions opts = column->PickOptions();
    tk::TStringList& pickList = column->PickList();
    tk::TStringList& pickText = column->PickText();
    if (PickTextMapping(column)) {
        int pos;
        if (opts & poStoreItemIndex)
            pos = ItemIndexOf(text);
        else if (pickList.Count() > 0)
            pos = pickList.IndexOf(text);
        else
            pos = pickText.IndexOf(text);
        if (pos >= 0 && pos < pickText.Count())
            return pickText[pos];
        return (opts & poListItemsOnly) ? QString() : text;
    }
    if (pickList.Count() > 0 && (opts & poListItemsOnly) && pickList.IndexOf(text) < 0)
        return QString();
    return text;
}

QString PickSetText(TXColumn* column, const QString& text, const db::TField* field)
{
    if (!column)
        return text;
    const TXPickOptions opts = column->PickOptions();
    tk::TStringList& pickList = column->PickList();
    tk::TStringList& pickText = column->PickText();
    if (PickTextMapping(column)) {
        int pos = pickText.IndexOf(text);
        if (pos < 0 && (opts & poAcceptPickList))
            pos = pickList.IndexOf(text);
        if (pos < 0 && (opts & poAcceptItemIndex))
            pos = ItemIndexOf(text);
        if (pos >= pickText.Count())
            pos = -1;
        if (pos >= 0) {
            if (opts & poStoreItemIndex) {
                // A text field stores the number right-aligned to its size.
                if (field && (field->DataType() == db::ftString || field->DataType() == db::ftFixedChar ||
                              field->DataType() == db::ftWideString) && field->Size() > 0)
                    return QStringLiteral("%1").arg(pos + 1, field->Size());
                return QString::number(pos + 1);
            }
            if (pickList.Count() > 0)
                return pos < pickList.Count() ? pickList[pos] : ((opts & poListItemsOnly) ? QString() : text);
            return pickText[pos];
        }
        return (opts & poListItemsOnly) ? QString() : text;
    }
    if (pickList.Count() > 0) {
        int pos = pickList.IndexOf(text);
        if (pos < 0 && (opts & poAcceptItemIndex))
            pos = ItemIndexOf(text);
        if (pos >= 0 && pos < pickList.Count())
            return pickList[pos];
        if (opts & poListItemsOnly)
            return QString();
    }
    return text;
}

} // namespace xdb
