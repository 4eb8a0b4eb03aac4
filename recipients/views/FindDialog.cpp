#include "recipients/views/FindDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace recipients {

TFindDialog::TFindDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FindDialog"));
    setWindowTitle(QStringLiteral("Suchen"));
    setModal(false);
    auto* outer = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    auto* textRow = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("Suchen &nach:"), this);
    EditFindText = new QLineEdit(this);
    EditFindText->setObjectName(QStringLiteral("EditFindText"));
    label->setBuddy(EditFindText);
    textRow->addWidget(label);
    textRow->addWidget(EditFindText, 1);
    left->addLayout(textRow);
    auto* options = new QHBoxLayout;
    CheckBoxWholeWord = new QCheckBox(QStringLiteral("Nur ganzes Wort"), this);
    CheckBoxWholeWord->setObjectName(QStringLiteral("CheckBoxWholeWord"));
    options->addWidget(CheckBoxWholeWord, 0, Qt::AlignBottom);
    auto* direction = new QGroupBox(QStringLiteral("Richtung"), this);
    auto* dirLayout = new QHBoxLayout(direction);
    RadioButtonUp = new QRadioButton(QStringLiteral("Nach oben"), direction);
    RadioButtonUp->setObjectName(QStringLiteral("RadioButtonUp"));
    RadioButtonDown = new QRadioButton(QStringLiteral("Nach unten"), direction);
    RadioButtonDown->setObjectName(QStringLiteral("RadioButtonDown"));
    RadioButtonDown->setChecked(true);
    dirLayout->addWidget(RadioButtonUp);
    dirLayout->addWidget(RadioButtonDown);
    options->addWidget(direction);
    left->addLayout(options);
    outer->addLayout(left, 1);
    auto* buttons = new QVBoxLayout;
    ButtonFindNext = new QPushButton(QStringLiteral("Weitersuchen"), this);
    ButtonFindNext->setObjectName(QStringLiteral("ButtonFindNext"));
    ButtonFindNext->setDefault(true);
    ButtonCancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    buttons->addWidget(ButtonFindNext);
    buttons->addWidget(ButtonCancel);
    buttons->addStretch(1);
    outer->addLayout(buttons);

    ButtonFindNext->setEnabled(false);
    connect(EditFindText, &QLineEdit::textChanged, this,
            [this](const QString& text) { ButtonFindNext->setEnabled(!text.isEmpty()); });
    connect(ButtonFindNext, &QPushButton::clicked, this, [this] {
        if (OnFind && !FindText().isEmpty())
            OnFind();
    });
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::close);
}

void TFindDialog::Execute()
{
    RadioButtonDown->setChecked(true);
    show();
    raise();
    activateWindow();
    EditFindText->setFocus();
}

QString TFindDialog::FindText() const { return EditFindText->text(); }
bool TFindDialog::WholeWord() const { return CheckBoxWholeWord->isChecked(); }
bool TFindDialog::Down() const { return RadioButtonDown->isChecked(); }

} // namespace recipients
