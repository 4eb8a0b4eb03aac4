#pragma once
// The dialog in which the user builds the connection string of a database: an ODBC data source
// or driver from unixODBC's lists, or a connection string typed in, plus user name and password.
#include <QDialog>

class QComboBox;
class QLineEdit;
class QRadioButton;

namespace importwizard {

class TDataLinkDialog : public QDialog {
    Q_OBJECT
public:
    // The lists are filled from unixODBC; the initial string stands in the text field.
    TDataLinkDialog(QWidget* parent, const QString& initial);

    // The connection string the dialog's choices give.
    QString ConnectionString() const;

    // Shows the dialog modally: the new connection string, or the initial one when cancelled.
    static QString Execute(QWidget* parent, const QString& initial);

    // A value as it may stand in a connection string (braced when it holds ";" or braces).
    static QString QuoteValue(const QString& value);

private:
    QRadioButton* RadioButtonDataSource;
    QRadioButton* RadioButtonDriver;
    QRadioButton* RadioButtonConnectionString;
    QComboBox* ComboBoxDataSources;
    QComboBox* ComboBoxDrivers;
    QLineEdit* EditDriverOptions;
    QLineEdit* EditConnectionString;
    QLineEdit* EditUserName;
    QLineEdit* EditPassword;
};

} // namespace importwizard
