#pragma once
// A wizard driven like a user would, with scripted desktop dialogs and a fake owner that
// records what the wizard hands out.
#include "../common/TestUtil.h"
#include "Printers.h"
#include "controls/ProgressPanel.h"
#include "importwizard/AssociationBox.h"
#include "importwizard/ImportWizardForm.h"
#include "platform/settings/RegIniFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <deque>
#include <gtest/gtest.h>
#include <memory>

namespace wiztest {

class ScriptedDialogs : public importwizard::IWizardDialogs {
public:
    QStringList messages;
    std::deque<std::optional<QString>> inputs;  // answers of the input box, in order
    QString openFileAnswer;
    QStringList openedWithDesktop;
    int waitDepth = 0;
    int waitCursorShown = 0;
    std::function<void()> onMessage;

    void ShowMessage(QWidget*, const QString& text) override
    {
        messages.append(text);
        if (onMessage)
            onMessage();
    }
    std::optional<QString> InputQuery(QWidget*, const QString&, const QString&, const QString&) override
    {
        if (inputs.empty())
            return std::nullopt;
        auto answer = inputs.front();
        inputs.pop_front();
        return answer;
    }
    QString lastDefaultExt;
    QString lastFilter;
    QString OpenFileName(QWidget*, const QString& defaultExt, const QString& filter, const QString&) override
    {
        lastDefaultExt = defaultExt;
        lastFilter = filter;
        return openFileAnswer;
    }
    bool OpenWithDesktop(const QString& fileName) override
    {
        openedWithDesktop.append(fileName);
        return true;
    }
    void BeginWaitCursor() override
    {
        ++waitDepth;
        ++waitCursorShown;
    }
    void EndWaitCursor() override { --waitDepth; }
    // The data-link dialog: answers with dataSourceAnswer, or the initial string when none is set.
    std::optional<QString> dataSourceAnswer;
    int dataSourcePrompts = 0;
    QString PromptDataSource(QWidget*, const QString& initial) override
    {
        ++dataSourcePrompts;
        return dataSourceAnswer.value_or(initial);
    }
    // The Outlook folder dialog: the trees it was shown, answered by pickFolder (cancelled when unset).
    QList<outlook::TFolderNode> folderTrees;
    std::function<std::optional<quint32>(const outlook::TFolderNode&)> pickFolder;
    std::optional<quint32> PickOutlookFolder(QWidget*, const outlook::TFolderNode& root) override
    {
        folderTrees.append(root);
        return pickFolder ? pickFolder(root) : std::nullopt;
    }
};

// The owner of the wizard: a duplicate test that looks at the rows it received, the rows
// themselves, the added columns and the run brackets.
struct FakeOwner {
    QList<QStringList> rows;
    QList<QPair<QString, QString>> duplicateTests;
    QStringList newColumns;
    bool acceptColumns = true;
    int runStarts = 0;
    int runEnds = 0;
    std::function<void(QStringList&)> onRow;

    void Wire(TImportWizardForm& form)
    {
        form.OnRowOutput = [this](QStringList& row) {
            rows.append(row);
            row.prepend(QStringLiteral("0"));  // the receiver may change the list
            if (onRow)
                onRow(row);
        };
        form.OnDoRowOutput = [this](const QString& col, const QString& value) {
            duplicateTests.append({col, value});
            for (const QStringList& r : rows) {
                if (!value.trimmed().isEmpty() && r.value(0) == value)
                    return true;
            }
            return false;
        };
        form.OnNewColumn = [this](const QString& name) {
            newColumns.append(name);
            return acceptColumns;
        };
        form.OnRunStart = [this] { ++runStarts; };
        form.OnRunEnd = [this] { ++runEnds; };
    }
};

class WizardTest : public ::testing::Test {
protected:
    qlytest::TempDir dir;
    ScriptedDialogs dialogs;
    FakeOwner owner;
    std::unique_ptr<TImportWizardForm> form;

    void Make(const QStringList& descriptions = {"Email", "Last Name", "First Name"}, bool wireOwner = true)
    {
        form = std::make_unique<TImportWizardForm>();
        form->SetDialogs(&dialogs);
        if (wireOwner)
            owner.Wire(*form);
        form->setDescriptions(descriptions);
    }

    template <typename T>
    T* Find(const char* name) const
    {
        T* w = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QPushButton* Button(const char* name) const { return Find<QPushButton>(name); }
    QPushButton* Next() const { return Button("ButtonNext"); }
    QPushButton* Back() const { return Button("ButtonBack"); }
    QPushButton* Cancel() const { return Button("ButtonCancel"); }
    QString Page() const { return Find<QStackedWidget>("PageControlImportWizard")->currentWidget()->objectName(); }
    TProgressPanel* Panel() const { return form->ProgressPanel(); }
    QStringList Mapping() const { return form->AssociationBox()->GetSelectedItems(); }

    QString WriteFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.file(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }

    static settings::TRegIniFile Settings() { return settings::TRegIniFile(TImportWizardForm::SettingsKeyPath()); }
    static void Store(const QString& name, const QString& value)
    {
        Settings().WriteString(TImportWizardForm::SettingsSection, name, value);
    }
    static QString Stored(const QString& name)
    {
        return Settings().ReadString(TImportWizardForm::SettingsSection, name, QStringLiteral("<none>"));
    }

    // Source page -> CSV file page -> mapping page for the file.
    void GoToMapping(const QString& path)
    {
        form->show();
        Next()->click();
        ASSERT_EQ(Page(), "TabSheetCSVFiles");
        Find<QLineEdit>("EditCSVFilename")->setText(path);
        Next()->click();
        ASSERT_EQ(Page(), "TabSheetCSVAssociations");
    }
    void GoToOverview(const QString& path)
    {
        GoToMapping(path);
        Next()->click();
        ASSERT_EQ(Page(), "TabSheetOverview");
    }
    // Combo item texts of the first row (all rows list the same values).
    QStringList PreviewValues() const
    {
        QStringList values;
        const auto& rows = form->AssociationBox()->Rows();
        if (rows.isEmpty())
            return values;
        for (int i = 0; i < rows[0]->fComboBox->count(); ++i)
            values.append(rows[0]->fComboBox->itemText(i));
        return values;
    }
};

} // namespace wiztest
