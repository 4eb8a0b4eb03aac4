#include "importwizard/DataLinkDialog.h"

#include "importwizard/dataaccess/ForeignDb.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace importwizard {

TDataLinkDialog::TDataLinkDialog(QWidget* parent, const QString& initial)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("DataLinkDialog"));
    setWindowTitle(QStringLiteral("Datenverknüpfungseigenschaften"));
    setMinimumWidth(480);

    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);

    RadioButtonDataSource = new QRadioButton(QStringLiteral("Datenquellenname (DSN):"), this);
    RadioButtonDataSource->setObjectName(QStringLiteral("RadioButtonDataSource"));
    ComboBoxDataSources = new QComboBox(this);
    ComboBoxDataSources->setObjectName(QStringLiteral("ComboBoxDataSources"));
    for (const dataaccess::TOdbcDataSource& source : dataaccess::OdbcDataSources()) {
        ComboBoxDataSources->addItem(source.description.isEmpty() ? source.name
                                                                  : source.name + QStringLiteral(" (") + source.description + QLatin1Char(')'),
                                     source.name);
    }
    grid->addWidget(RadioButtonDataSource, 0, 0);
    grid->addWidget(ComboBoxDataSources, 0, 1);

    RadioButtonDriver = new QRadioButton(QStringLiteral("ODBC-Treiber:"), this);
    RadioButtonDriver->setObjectName(QStringLiteral("RadioButtonDriver"));
    ComboBoxDrivers = new QComboBox(this);
    ComboBoxDrivers->setObjectName(QStringLiteral("ComboBoxDrivers"));
    ComboBoxDrivers->addItems(dataaccess::OdbcDrivers());
    EditDriverOptions = new QLineEdit(this);
    EditDriverOptions->setObjectName(QStringLiteral("EditDriverOptions"));
    EditDriverOptions->setPlaceholderText(QStringLiteral("weitere Angaben, z. B. Database=/pfad/datei.db"));
    grid->addWidget(RadioButtonDriver, 1, 0);
    grid->addWidget(ComboBoxDrivers, 1, 1);
    grid->addWidget(EditDriverOptions, 2, 1);

    RadioButtonConnectionString = new QRadioButton(QStringLiteral("Verbindungszeichenfolge:"), this);
    RadioButtonConnectionString->setObjectName(QStringLiteral("RadioButtonConnectionString"));
    EditConnectionString = new QLineEdit(initial, this);
    EditConnectionString->setObjectName(QStringLiteral("EditConnectionString"));
    grid->addWidget(RadioButtonConnectionString, 3, 0);
    grid->addWidget(EditConnectionString, 3, 1);

    auto* login = new QFormLayout;
    EditUserName = new QLineEdit(this);
    EditUserName->setObjectName(QStringLiteral("EditUserName"));
    EditPassword = new QLineEdit(this);
    EditPassword->setObjectName(QStringLiteral("EditPassword"));
    EditPassword->setEchoMode(QLineEdit::Password);
    login->addRow(QStringLiteral("Benutzername:"), EditUserName);
    login->addRow(QStringLiteral("Kennwort:"), EditPassword);
    layout->addLayout(login);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("ButtonBoxDataLink"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ButtonOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("ButtonCancel"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // Choosing from a list selects its way of connecting.
    connect(ComboBoxDataSources, &QComboBox::activated, this, [this] { RadioButtonDataSource->setChecked(true); });
    connect(ComboBoxDrivers, &QComboBox::activated, this, [this] { RadioButtonDriver->setChecked(true); });
    connect(EditDriverOptions, &QLineEdit::textEdited, this, [this] { RadioButtonDriver->setChecked(true); });
    connect(EditConnectionString, &QLineEdit::textEdited, this,
            [this] { RadioButtonConnectionString->setChecked(true); });

    if (!initial.isEmpty() || ComboBoxDataSources->count() == 0)
        RadioButtonConnectionString->setChecked(true);
    else
        RadioButtonDataSource->setChecked(true);
}

QString TDataLinkDialog::QuoteValue(const QString& value)
{
    if (!value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('{')) && !value.contains(QLatin1Char('}'))
        && value.trimmed() == value)
        return value;
    return QLatin1Char('{') + QString(value).replace(QLatin1Char('}'), QLatin1String("}}")) + QLatin1Char('}');
}

QString TDataLinkDialog::ConnectionString() const
{
    QStringList parts;
    if (RadioButtonDataSource->isChecked()) {
        if (ComboBoxDataSources->currentIndex() < 0)
            return QString();
        parts.append(QStringLiteral("DSN=") + QuoteValue(ComboBoxDataSources->currentData().toString()));
    } else if (RadioButtonDriver->isChecked()) {
        if (ComboBoxDrivers->currentIndex() < 0)
            return QString();
        parts.append(QStringLiteral("DRIVER={") + QString(ComboBoxDrivers->currentText()).replace(QLatin1Char('}'), QLatin1String("}}"))
                     + QLatin1Char('}'));
        const QString options = EditDriverOptions->text().trimmed();
        if (!options.isEmpty())
            parts.append(options.endsWith(QLatin1Char(';')) ? options.chopped(1) : options);
    } else {
        const QString text = EditConnectionString->text().trimmed();
        if (text.isEmpty())
            return QString();
        parts.append(text.endsWith(QLatin1Char(';')) ? text.chopped(1) : text);
    }
    if (!EditUserName->text().isEmpty())
        parts.append(QStringLiteral("UID=") + QuoteValue(EditUserName->text()));
    if (!EditPassword->text().isEmpty())
        parts.append(QStringLiteral("PWD=") + QuoteValue(EditPassword->text()));
    return parts.join(QLatin1Char(';'));
}

QString TDataLinkDialog::Execute(QWidget* parent, const QString& initial)
{
    TDataLinkDialog dialog(parent, initial);
    if (dialog.exec() != QDialog::Accepted)
        return initial;
    return dialog.ConnectionString();
}

} // namespace importwizard
