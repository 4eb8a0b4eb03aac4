#pragma once
// The find dialog of the recipients page: modeless, with the searched text, "Nur ganzes Wort",
// the direction and "Weitersuchen" / "Abbrechen". It only collects the search; whoever opened it
// runs each find-next through OnFind.
#include <QDialog>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace recipients {

class TFindDialog : public QDialog {
    Q_OBJECT
public:
    explicit TFindDialog(QWidget* parent = nullptr);

    // Shows the dialog (modeless) searching downwards, or raises it when it is open.
    void Execute();

    QString FindText() const;
    bool WholeWord() const;
    bool Down() const;

    // "Weitersuchen" (and Return in the text box).
    std::function<void()> OnFind;

    QLineEdit* EditFindText;
    QCheckBox* CheckBoxWholeWord;
    QRadioButton *RadioButtonUp, *RadioButtonDown;
    QPushButton *ButtonFindNext, *ButtonCancel;
};

} // namespace recipients
