#include "recipients/datagrid/XDBGridOrder.h"

#include <QStringList>

namespace xdb {

std::vector<TXOrderItem> ParseOrderFields(const QString& text, bool firstOnly)
{
    std::vector<TXOrderItem> items;
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return items;
    const QStringList parts = trimmed.split(QLatin1Char(','));
    for (const QString& raw : parts) {
        const QString item = raw.trimmed();
        const QString upper = item.toUpper();
        TXOrderItem o;
        const qsizetype desc = upper.indexOf(QLatin1String(" DESC"));
        if (desc >= 0) {
            o.fieldName = item.left(desc).trimmed();
            o.descending = true;
        } else {
            const qsizetype asc = upper.indexOf(QLatin1String(" ASC"));
            o.fieldName = (asc >= 0 ? item.left(asc) : item).trimmed();
        }
        if (!o.fieldName.isEmpty() || firstOnly)
            items.push_back(o);
        if (firstOnly)
            break;
    }
    return items;
}

} // namespace xdb
