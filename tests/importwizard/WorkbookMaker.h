#pragma once
// Excel workbooks written at test time by python3-xlwt (Debian's /usr/bin/python3).
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <gtest/gtest.h>

namespace wiztest {

// One sheet: cells as [row, col, value] (a JSON null writes a formatted blank cell, an object
// {"date": [y, m, d]} a date), and optionally `generated` rows of "Name<i>", "name<i>@x.de",
// "Vorname<i>" in columns 0..2 from row `generatedFrom`.
struct SheetSpec {
    QString name;
    QJsonArray cells;
    int generated = 0;
    int generatedFrom = 0;
};

inline QJsonArray Cell(int row, int col, const QJsonValue& value)
{
    return QJsonArray{row, col, value};
}

inline void MakeWorkbook(const QString& path, const QList<SheetSpec>& sheets)
{
    static const char* script = R"PY(
import sys, json, datetime, xlwt
spec = json.load(sys.stdin)
wb = xlwt.Workbook(encoding='utf-8')
bold = xlwt.easyxf('font: bold on')
datestyle = xlwt.easyxf(num_format_str='DD.MM.YYYY')
for sh in spec['sheets']:
    ws = wb.add_sheet(sh['name'])
    for r, c, v in sh['cells']:
        if v is None:
            ws.write(r, c, None, bold)
        elif isinstance(v, dict):
            ws.write(r, c, datetime.date(*v['date']), datestyle)
        else:
            ws.write(r, c, v)
    start = sh['generatedFrom']
    for i in range(1, sh['generated'] + 1):
        r = start + i - 1
        ws.write(r, 0, 'Name%d' % i)
        ws.write(r, 1, 'name%d@x.de' % i)
        ws.write(r, 2, 'Vorname%d' % i)
wb.save(spec['out'])
)PY";
    QJsonArray list;
    for (const SheetSpec& s : sheets)
        list.append(QJsonObject{{"name", s.name}, {"cells", s.cells}, {"generated", s.generated},
                                {"generatedFrom", s.generatedFrom}});
    QProcess python;
    python.start("/usr/bin/python3", {"-c", script});
    ASSERT_TRUE(python.waitForStarted());
    python.write(QJsonDocument(QJsonObject{{"out", path}, {"sheets", list}}).toJson());
    python.closeWriteChannel();
    ASSERT_TRUE(python.waitForFinished(60000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
}

} // namespace wiztest
