#include "controls/About.h"

#include "controls/UrlLabel.h"
#include "core/OrvUtils.h"
#include "platform/app/Application.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("Info"));
    setFixedSize(263, 259);

    ProgramIcon = new QLabel(this);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(12, 12, 32, 32);

    QFont nameFont(QStringLiteral("Arial"));
    nameFont.setPixelSize(19);
    nameFont.setBold(true);
    nameFont.setItalic(true);
    Shadow = new QLabel(this);
    Shadow->setObjectName(QStringLiteral("Shadow"));
    Shadow->setFont(nameFont);
    Shadow->setAlignment(Qt::AlignCenter);
    Shadow->setGeometry(50, 14, 200, 28);
    QPalette grey = Shadow->palette();
    grey.setColor(QPalette::WindowText, Qt::gray);
    Shadow->setPalette(grey);
    ProductName = new QLabel(this);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    ProductName->setFont(nameFont);
    ProductName->setAlignment(Qt::AlignCenter);
    ProductName->setGeometry(48, 12, 200, 28);
    QPalette black = ProductName->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    ProductName->setPalette(black);

    Version = new QLabel(this);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setAlignment(Qt::AlignCenter);
    Version->setGeometry(12, 50, 239, 18);

    auto* details = new QLabel(this);
    details->setObjectName(QStringLiteral("LabelDetails"));
    details->setWordWrap(true);
    details->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    // One short line each, so that no sentence is broken.
    details->setText(QStringLiteral("ORV Software\n"
                                    "Serienmails an Empfängerlisten.\n"
                                    "Fünf Schritte, Versand über SMTP."));
    details->setGeometry(12, 78, 239, 64);

    LabelRecommend = new QLabel(QStringLiteral("Erstellt mit Qt:"), this);
    LabelRecommend->setObjectName(QStringLiteral("LabelRecommend"));
    LabelRecommend->setGeometry(12, 150, 110, 18);
    LabelRecommend->adjustSize();
    UrlLabelRecommend = new TUrlLabel(this);
    UrlLabelRecommend->setObjectName(QStringLiteral("UrlLabelRecommend"));
    UrlLabelRecommend->setText(QStringLiteral("www.qt.io"));
    UrlLabelRecommend->SetURL(QStringLiteral("https://www.qt.io/"));
    UrlLabelRecommend->adjustSize();

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    BitBtn1->setGeometry((263 - 75) / 2, 259 - 25 - 12, 75, 25);
    connect(BitBtn1, &QPushButton::clicked, this, &TAboutBox::BitBtn1Click);

    FormCreate();
}

void TAboutBox::FormCreate()
{
    platform::Application* app = platform::Application::Instance();
    const QString title = app && !app->Title().isEmpty() ? app->Title() : QApplication::applicationName();
    ProductName->setText(title);
    Shadow->setText(title);
    Version->setText(QStringLiteral("Version ") + core::GetVersionText(false));
    ProgramIcon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
}

void TAboutBox::FormShow()
{
    UrlLabelRecommend->move(LabelRecommend->x() + LabelRecommend->width() + 3, LabelRecommend->y());
    if (QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
}

void TAboutBox::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    FormShow();
}

void TAboutBox::BitBtn1Click() { close(); }
