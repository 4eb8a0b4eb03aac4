#pragma once
// TAboutBox: the "Info" dialog with the product name, version and the maker's details.
#include <QDialog>

class QLabel;
class QPushButton;
class TUrlLabel;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Shadow;
    QLabel* Version;
    QLabel* LabelRecommend;
    TUrlLabel* UrlLabelRecommend;
    QPushButton* BitBtn1;

    void FormCreate();
    void BitBtn1Click();

protected:
    void showEvent(QShowEvent* e) override;
    void FormShow();
};
