// The wizard at its fixed size: the overview's values inside their box, the progress panel's
// counters apart from the time captions, the sheet page's description inside its box. Pictures
// land in screenshots/ beside the binary (or in QLY_SCREENSHOT_DIR).
#include "WizardTestSupport.h"
#include "WorkbookMaker.h"

#include <QDir>
#include <QGroupBox>

using namespace wiztest;

namespace {

QString ShotDir()
{
    const QString out = qEnvironmentVariable("QLY_SCREENSHOT_DIR", QDir::currentPath() + QStringLiteral("/screenshots"));
    QDir().mkpath(out);
    return out;
}

// Where a label's text is drawn, in the coordinates of `in`.
QRect TextRect(const QLabel* label, const QWidget* in)
{
    const QRect text(QPoint(0, 0), QSize(label->fontMetrics().horizontalAdvance(label->text()), label->height()));
    return QRect(label->mapTo(in, text.topLeft()), text.size());
}

class SummaryLayoutTest : public WizardTest {
protected:
    // Every shown value of the overview lies inside the options box, right of its caption.
    void ExpectValuesInsideTheBox()
    {
        auto* box = Find<QGroupBox>("GroupBoxOverviewOptions");
        const QRect inner = box->contentsRect();
        const std::pair<const char*, const char*> rows[] = { { "LabelTypeCaption", "LabelTypeValue" },
                                                             { "LabelFileCaption", "LabelFileValue" },
                                                             { "LabelOptionsCaption", "LabelOptionsValue" },
                                                             { "LabelSeparatorCaption", "LabelSeparatorValue" },
                                                             { "LabelIgnoreFirstRowCaption", "LabelIgnoreFirstRowValue" } };
        for (auto [captionName, valueName] : rows) {
            const QLabel* caption = Find<QLabel>(captionName);
            const QLabel* value = Find<QLabel>(valueName);
            if (value->isHidden())
                continue;
            const QRect v = TextRect(value, box);
            EXPECT_LE(v.right(), inner.right()) << valueName << " " << value->text().toStdString();
            EXPECT_FALSE(v.intersects(TextRect(caption, box))) << valueName;
        }
    }
};

} // namespace

TEST_F(SummaryLayoutTest, LongCsvPathAndSixDigitCounters)
{
    const QString folder = dir.file("Kundenlisten des Vertriebs 2026/Messe Frankfurt und Umgebung");
    QDir().mkpath(folder);
    const QString path = WriteFile("Kundenlisten des Vertriebs 2026/Messe Frankfurt und Umgebung/"
                                   "Teilnehmerliste der Herbstveranstaltung.csv",
                                   "Name;Email;Vorname\r\nMeier;meier@x.de;Hans\r\n");
    Make();
    form->OnReplaceDoubles = [](QObject*) {};
    form->show();
    Next()->click();
    Find<QRadioButton>("RadioButtonCSVReplaceDuplicates")->setChecked(true);
    Find<QLineEdit>("EditCSVFilename")->setText(path);
    Next()->click();
    Next()->click();
    ASSERT_EQ(Page(), "TabSheetOverview");
    // The longest option stands whole; the path is shortened to the box and whole in the tip.
    EXPECT_EQ(Find<QLabel>("LabelOptionsValue")->text(), QStringLiteral("Duplikate durch neue Einträge ersetzten"));
    const QLabel* file = Find<QLabel>("LabelFileValue");
    EXPECT_TRUE(file->text().endsWith(QStringLiteral("tung.csv"))) << file->text().toStdString();
    EXPECT_EQ(file->toolTip(), path);
    ExpectValuesInsideTheBox();

    Panel()->SetMax(999999);
    Panel()->SetPosition(123456);
    EXPECT_EQ(Panel()->LeftText(), QStringLiteral("876543"));
    EXPECT_EQ(Panel()->DoneText(), QStringLiteral("123456"));
    const std::pair<const char*, const char*> sideBySide[] = { { "LabelLeft", "LabelCaptionTimeLeft" },
                                                               { "LabelDone", "LabelCaptionTimeNeeded" } };
    for (auto [counterName, captionName] : sideBySide) {
        const QRect counter = TextRect(Panel()->findChild<QLabel*>(counterName), Panel());
        const QRect caption = TextRect(Panel()->findChild<QLabel*>(captionName), Panel());
        EXPECT_LT(counter.right(), caption.left()) << counterName;
    }
    for (const char* valueName : { "LabelTimeLeft", "LabelTimeNeeded" })
        EXPECT_LE(TextRect(Panel()->findChild<QLabel*>(valueName), Panel()).right(), Panel()->contentsRect().right());
    EXPECT_TRUE(form->grab().save(ShotDir() + "/wizard-overview-csv.png"));
}

TEST_F(SummaryLayoutTest, ExcelSheetPageAndOverview)
{
    const QString folder = dir.file("Kundenlisten des Vertriebs 2026/Messe Frankfurt und Umgebung");
    QDir().mkpath(folder);
    const QString xls = folder + "/Adressen.xls";
    SheetSpec north{"Kunden Norddeutschland Dänemark", {}};
    north.cells = { Cell(0, 0, "Email"), Cell(1, 0, "a@x.de") };
    SheetSpec fair{"Interessenten Messe", {}};
    fair.cells = { Cell(0, 0, "Email"), Cell(1, 0, "b@x.de") };
    MakeWorkbook(xls, { north, fair });
    Make();
    form->show();
    Find<QListWidget>("ListBoxSourceType")->setCurrentRow(2);
    Next()->click();
    Find<QLineEdit>("EditXLSFileName")->setText(xls);
    Next()->click();
    ASSERT_EQ(Page(), "TabSheetXLSSheetSelect");
    // The description flows inside its box.
    auto* description = Find<QLabel>("LabelXLSSheetDescription");
    auto* descriptionBox = Find<QGroupBox>("GroupBoxXLSSheetDescription");
    EXPECT_TRUE(description->wordWrap());
    EXPECT_LE(description->geometry().right(), descriptionBox->contentsRect().right());
    EXPECT_LE(description->heightForWidth(description->width()), description->height());
    EXPECT_EQ(description->text().simplified(),
              QStringLiteral("Excel Dateien können aus mehreren Arbeitsblättern bestehen. Bitte wählen Sie das "
                             "Arbeitsblatt, dass die benötigten Informationen Ihrer Empfänger enthält."));
    EXPECT_TRUE(form->grab().save(ShotDir() + "/wizard-sheets.png"));

    Find<QListWidget>("ListBoxXLSSheets")->setCurrentRow(0);
    Next()->click();
    Next()->click();
    ASSERT_EQ(Page(), "TabSheetOverview");
    EXPECT_EQ(Find<QLabel>("LabelFileCaption")->text(), QStringLiteral("Die Datei :"));
    const QLabel* sheet = Find<QLabel>("LabelSeparatorValue");
    const QString sheetName = QStringLiteral("Kunden Norddeutschland Dänemark");
    EXPECT_TRUE(sheet->text() == sheetName || sheet->toolTip() == sheetName) << sheet->text().toStdString();
    ExpectValuesInsideTheBox();
    EXPECT_TRUE(form->grab().save(ShotDir() + "/wizard-overview-xls.png"));
}
