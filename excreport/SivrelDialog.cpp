#include "excreport/SivrelDialog.h"
#include "excreport/SivrelLogFile.h"
#include "excreport/SivrelLook.h"
#include "excreport/SivrelModules.h"
#include "excreport/SivrelOptions.h"
#include "excreport/SivrelConsts.h"
#include "excreport/SivrelStream.h"
#include "excreport/SivrelSupport.h"
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace excreport {

namespace {

const char* const CallStackDefaults[6] = {"80", "102", "105", "118", "137", "48"};
const char* const ModuleDefaults[6] = {"80", "100", "130", "65", "65", "150"};

QFont FixedFont()
{
    QFont font(QStringLiteral("Lucida Console"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPointSize(8);
    if (!QFontInfo(font).fixedPitch())
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    return font;
}

QString Profile(const QString& key, const QString& def)
{
    return ReadIniString(SivrelProfileFile(), QStringLiteral("Coordinates"), key, def);
}

void SetProfile(const QString& key, const QString& value)
{
    QDir().mkpath(QFileInfo(SivrelProfileFile()).absolutePath());
    WriteIniString(SivrelProfileFile(), QStringLiteral("Coordinates"), key, value);
}

int ProfileInt(const QString& key, int def)
{
    bool ok = false;
    const int v = Profile(key, QString::number(def)).trimmed().toInt(&ok);
    return ok ? v : def;
}

QString FileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

} // namespace

TSivrelCollapsedLayout CollapsedLayout(const QString& message, const TSivrelModuleOptions& options,
                                       const TSivrelDialogMetrics& m, int extraHeight)
{
    QStringList lines = message.split(QStringLiteral("\n"));
    for (QString& line : lines)
        if (line.endsWith(u'\r'))
            line.chop(1);
    lines << options.GetText(16) + QStringLiteral("    ") + options.GetText(18);
    const int b = 2 * m.FrameWidth + 58;
    const int room = 640 - b;
    int tw = 0, t = 0;
    for (const QString& line : lines) {
        const QSize e = m.Extent(line.isEmpty() ? QStringLiteral(" ") : line);
        if (e.width() > tw) {
            tw = e.width() + 16;
            if (e.width() + 16 > room) {
                tw = room;
                t += ((e.width() - room + 16) / room + 1) * e.height();
            }
        }
        t += e.height();
    }
    TSivrelCollapsedLayout layout;
    layout.Window = QSize(std::max(tw + b, 250),
                          std::max(t - 39, 0) + 2 * m.FrameHeight + m.CaptionHeight + 86 + extraHeight);
    layout.TextHeight = t;
    return layout;
}

int CallStackIcon(const TSivrelDebugInfo& entry)
{
    if (entry.Kind == 4)
        return siPas;
    const uint8_t type = entry.Module ? entry.Module->ModuleType : uint8_t(mtUnknown);
    return type == mtExecutable ? siVcl : type == mtPackage ? siBpl : siDll;
}

int ModuleIcon(const QString& fileName, uint8_t moduleType)
{
    const QString suffix = QFileInfo(fileName).suffix().toUpper();
    if (suffix == QLatin1String("BPL") || suffix == QLatin1String("DPL"))
        return siBpl;
    // Programs here have no ".EXE": the module list knows the executable.
    if (suffix == QLatin1String("EXE") || moduleType == mtExecutable)
        return siVcl;
    return siDll;
}

QString ShortVersion(const QString& version)
{
    const qsizetype first = version.indexOf(u'.');
    const qsizetype second = first < 0 ? -1 : version.indexOf(u'.', first + 1);
    return second < 0 ? version : version.left(second + 1) + u'x';
}

QString SizeInKb(uint64_t bytes)
{
    return QString::number(qulonglong(std::nearbyint(double(bytes) / 1024.0))) + QStringLiteral(" Kb");
}

QString SivrelProfileFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/SivrelLog.ini");
}

QByteArray IdeMessage(const QString& unit, int line)
{
    QByteArray block(2052, '\0');
    const QByteArray name = unit.toUtf8().left(2047);
    std::memcpy(block.data(), name.constData(), size_t(name.size()));
    qToLittleEndian<int32_t>(line, block.data() + 2048);
    return block;
}

bool SendIdeMessage(const QString& unit, int line)
{
    const QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/SivrelLog"));
    sockaddr_un to{};
    if (folder.isEmpty() || path.size() >= qsizetype(sizeof to.sun_path))
        return false;
    to.sun_family = AF_UNIX;
    std::memcpy(to.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const QByteArray block = IdeMessage(unit, line);
    const bool sent = ::sendto(fd, block.constData(), size_t(block.size()), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&to),
                               sizeof to) == block.size();
    ::close(fd);
    return sent;
}

QByteArray PackDialogData(const TSivrelDialogData& data)
{
    TSivrelStream options;
    if (data.Options)
        data.Options->SaveToStream(options);
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << options.Data();
    const TSivrelReportTexts texts = data.Texts ? *data.Texts : TSivrelReportTexts();
    out << texts.MessageText << texts.HeaderText << texts.CPUText;
    // Modules once; call-stack entries name theirs by index (-1: none).
    std::vector<TSivrelModuleRef> modules = data.Modules;
    for (const TSivrelDebugInfo& e : data.CallStack)
        if (e.Module && std::find(modules.begin(), modules.end(), e.Module) == modules.end())
            modules.push_back(e.Module);
    out << quint32(modules.size()) << quint32(data.Modules.size());
    for (const TSivrelModuleRef& m : modules)
        out << quint64(m ? m->Handle : 0) << (m ? m->FileName : QString()) << (m ? m->Description : QString())
            << (m ? m->Version : QString()) << quint32(m ? m->FileSize : 0) << quint8(m ? m->ModuleType : 0);
    out << quint32(data.CallStack.size());
    for (const TSivrelDebugInfo& e : data.CallStack) {
        const auto at = std::find(modules.begin(), modules.end(), e.Module);
        out << quint8(e.Kind) << qint32(e.Module ? int(at - modules.begin()) : -1) << quint64(e.Address) << e.UnitName
            << e.ClassName << e.ProcedureName << qint32(e.Line);
    }
    out << data.Duplicate << qint32(data.ReportsThisRun) << data.SendSwitch << data.ScreenshotSwitch;
    return bytes;
}

bool UnpackDialogData(const QByteArray& bytes, TSivrelDialogPacket& packet)
{
    QDataStream in(bytes);
    QByteArray optionBytes;
    in >> optionBytes;
    packet.Options = std::make_shared<TSivrelModuleOptions>(QString(), false);
    try {
        TSivrelStream options(optionBytes);
        packet.Options->LoadFromStream(options, SivrelDataVersion);
    } catch (...) {
        return false;
    }
    in >> packet.Texts.MessageText >> packet.Texts.HeaderText >> packet.Texts.CPUText;
    quint32 count = 0, listed = 0;
    in >> count >> listed;
    if (in.status() != QDataStream::Ok || listed > count || count > 100000)
        return false;
    std::vector<TSivrelModuleRef> modules;
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        auto m = std::make_shared<TSivrelModuleInfo>();
        quint64 handle = 0;
        quint32 size = 0;
        quint8 type = 0;
        in >> handle >> m->FileName >> m->Description >> m->Version >> size >> type;
        m->Handle = uintptr_t(handle);
        m->FileSize = size;
        m->ModuleType = type;
        modules.push_back(m);
    }
    in >> count;
    if (in.status() != QDataStream::Ok || count > 100000)
        return false;
    TSivrelDialogData& data = packet.Data;
    data.Modules.assign(modules.begin(), modules.begin() + listed);
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        TSivrelDebugInfo e;
        quint8 kind = 0;
        qint32 module = -1, line = 0;
        quint64 address = 0;
        in >> kind >> module >> address >> e.UnitName >> e.ClassName >> e.ProcedureName >> line;
        e.Kind = kind;
        e.Address = uintptr_t(address);
        e.Line = line;
        if (module >= 0 && size_t(module) < modules.size())
            e.Module = modules[size_t(module)];
        data.CallStack.push_back(std::move(e));
    }
    qint32 reports = 1;
    in >> data.Duplicate >> reports >> data.SendSwitch >> data.ScreenshotSwitch;
    data.ReportsThisRun = reports;
    data.Texts = &packet.Texts;
    data.Options = packet.Options.get();
    return in.status() == QDataStream::Ok;
}

int DialogAnswerCode(const TSivrelDialogData& data)
{
    return 64 | (data.SendSwitch ? 1 : 0) | (data.ScreenshotSwitch ? 2 : 0) | (data.CopySwitch ? 4 : 0) | (data.TerminateChosen ? 8 : 0);
}

bool ReadDialogAnswer(int code, TSivrelDialogData& data)
{
    if ((code & ~15) != 64)
        return false;
    data.SendSwitch = code & 1;
    data.ScreenshotSwitch = code & 2;
    data.CopySwitch = code & 4;
    data.TerminateChosen = code & 8;
    return true;
}

int RunDialogStep(const QByteArray& bytes)
{
    TSivrelDialogPacket packet;
    if (!UnpackDialogData(bytes, packet))
        return 2;
    TSivrelReportDialog dialog(packet.Data);
    if (qEnvironmentVariableIsSet("QLY_SIVREL_AUTOANSWER")) {
        dialog.show();
        QCoreApplication::processEvents();
        const QString shot = qEnvironmentVariable("QLY_SIVREL_AUTOANSWER_SHOT");
        if (!shot.isEmpty())
            dialog.grab().save(shot);
        const QByteArray line = "[dialog from helper] " + packet.Texts.MessageText.toUtf8() + '|'
                                + QByteArray::number(qulonglong(packet.Data.CallStack.size())) + '|'
                                + QByteArray::number(qulonglong(packet.Data.Modules.size())) + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
        // QLY_SIVREL_AUTOANSWER_COPY ticks the copy box before OK.
        if (qEnvironmentVariableIsSet("QLY_SIVREL_AUTOANSWER_COPY"))
            dialog.findChild<QCheckBox*>(QStringLiteral("Id5000"))->setChecked(true);
        dialog.accept();
    } else {
        QApplication::beep();
        dialog.exec();
    }
    return DialogAnswerCode(packet.Data);
}

TSivrelReportDialog::TSivrelReportDialog(TSivrelDialogData& data, QWidget* parent)
    : QDialog(parent), m_data(data), m_options(*data.Options)
{
    setProperty("sivrelReporterWindow", true);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowTitle(m_options.GetText(2));
    m_look = new TSivrelDialogLook(this, m_options.CustomDialogLook());
    const QFont messageFont = QApplication::font("QMessageBox");

    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("Id101"));
    m_text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_text->setWordWrap(true);
    m_text->setFont(messageFont);
    m_ok = new QPushButton(m_options.GetText(12), this);
    m_ok->setObjectName(QStringLiteral("Id2"));
    m_ok->setDefault(true);
    m_terminate = new QPushButton(m_options.GetText(m_options.TerminateAction() == taRestart ? 14 : 13), this);
    m_terminate->setObjectName(QStringLiteral("Id3"));
    m_details = new QPushButton(this);
    m_details->setObjectName(QStringLiteral("Id4"));
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("Id1000"));
    for (int t : {4, 6, 8, 10})
        m_tabs->addTab(new QWidget, m_options.GetText(t));
    m_send = new QCheckBox(m_options.GetText(16), this);
    m_send->setObjectName(QStringLiteral("Id3000"));
    m_screenshot = new QCheckBox(m_options.GetText(17), this);
    m_screenshot->setObjectName(QStringLiteral("Id4000"));
    m_copy = new QCheckBox(m_options.GetText(18), this);
    m_copy->setObjectName(QStringLiteral("Id5000"));
    m_copy->setLayoutDirection(Qt::RightToLeft);
    for (QWidget* w : std::initializer_list<QWidget*>{m_ok, m_terminate, m_details, m_send, m_screenshot, m_copy})
        w->setFont(messageFont);

    const bool sendMode = m_options.SendMode() != smNone;
    m_send->setVisible(sendMode && !data.Duplicate);
    m_send->setChecked(data.SendSwitch);
    m_screenshot->setVisible(m_send->isVisibleTo(this) && m_options.AttachScreenshot());
    m_screenshot->setChecked(data.ScreenshotSwitch);
    m_screenshot->setEnabled(sendMode && m_send->isChecked());
    connect(m_send, &QCheckBox::toggled, m_screenshot, &QWidget::setEnabled);
    m_copy->setChecked(false);
    m_extraHeight = m_send->isVisibleTo(this) && m_screenshot->isVisibleTo(this) ? 34 : 20;
    m_terminate->setVisible(m_options.OfferTerminate() && data.ReportsThisRun > m_options.TerminateThreshold());

    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_terminate, &QPushButton::clicked, this, [this] {
        m_data.TerminateChosen = true;
        accept();
    });
    connect(m_details, &QPushButton::clicked, this, [this] { SetExpanded(!m_expanded); });
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) { ShowPage(index); });

    const QFontMetrics fm(messageFont);
    m_metrics.Extent = [fm](const QString& line) { return QSize(fm.horizontalAdvance(line), fm.lineSpacing()); };
    // Our own frame counts in the window size; the window manager's does not.
    m_metrics.FrameWidth = m_metrics.FrameHeight = m_look->FrameWidth();
    m_metrics.CaptionHeight = m_look->CaptionHeight();

    m_tabs->setCurrentIndex(std::min<int>(m_options.InitialTab(), 3));
    ShowPage(m_tabs->currentIndex());
    m_ok->setFocus();
    SetExpanded(false);
}

TSivrelReportDialog::~TSivrelReportDialog() = default;

void TSivrelReportDialog::SetMetrics(const TSivrelDialogMetrics& metrics)
{
    m_metrics = metrics;
    if (!m_expanded)
        SetExpanded(false);
}

int TSivrelReportDialog::ButtonWidth() const
{
    const QFontMetrics fm(m_ok->font());
    int width = 75;
    for (int t : {12, 13, 14, 15})
        width = std::max(width, fm.horizontalAdvance(QString(m_options.GetText(t)).remove(u'&') + u'O'));
    return width;
}

void TSivrelReportDialog::SetExpanded(bool expanded)
{
    if (m_expanded && !expanded)
        StorePlacement();
    m_expanded = expanded;
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    if (expanded) {
        m_details->setText(QStringLiteral("<< ") + m_options.GetText(15));
        m_text->setText(m_options.GetText(3));
        const int width = ProfileInt(QStringLiteral("Width"), 640);
        const int height = ProfileInt(QStringLiteral("Height"), 385);
        int left = ProfileInt(QStringLiteral("Left"), (screen.width() - width) / 2);
        int top = ProfileInt(QStringLiteral("Top"), (screen.height() - (height + m_extraHeight)) / 2);
        m_state = ProfileInt(QStringLiteral("WindowsState"), 1);
        if (m_state != 3)
            m_state = 1;  // a stored minimised state opens normal
        if (top + height > screen.height())
            top = screen.height() - height - m_extraHeight;
        if (left + width > screen.width())
            left = screen.width() - width;
        left = std::max(left, 0);
        top = std::max(top, 0);
        m_look->SetSizable(true);
        setMinimumSize(250, 150);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        m_tabs->show();
        setGeometry(left, top, width, height + m_extraHeight);
        m_placement = QRect(left, top, width, height + m_extraHeight);
        m_remembered = true;
        if (m_state == 3)
            setWindowState(Qt::WindowMaximized);
    } else {
        m_details->setText(m_options.GetText(15) + QStringLiteral(" >>"));
        m_text->setText(m_data.Texts ? m_data.Texts->MessageText : QString());
        const TSivrelCollapsedLayout c = CollapsedLayout(m_text->text(), m_options, m_metrics, m_extraHeight);
        const QSize client = m_look->Custom() ? c.Window
                                              : QSize(c.Window.width() - 2 * m_metrics.FrameWidth,
                                                      c.Window.height() - 2 * m_metrics.FrameHeight - m_metrics.CaptionHeight);
        m_look->SetSizable(false);
        setWindowState(Qt::WindowNoState);
        m_tabs->hide();
        setFixedSize(client);
        m_text->setGeometry(QRect(ClientOrigin() + QPoint(48, 8),
                                  QSize(c.Window.width() - (2 * m_metrics.FrameWidth + 58), c.TextHeight)));
        move(screen.center() - QPoint(client.width() / 2, client.height() / 2));
    }
    Layout();
}

QPoint TSivrelReportDialog::ClientOrigin() const
{
    return contentsRect().topLeft();
}

void TSivrelReportDialog::Layout()
{
    const QRect client = contentsRect();
    const int w = client.width(), h = client.height();
    const int bw = ButtonWidth();
    const auto place = [&client](QWidget* widget, int x, int y, int cx, int cy) {
        widget->setGeometry(x + client.left(), y + client.top(), cx, cy);
    };
    place(m_tabs, 4, 52, w - 8, std::max(h - 90 - m_extraHeight, 0));
    if (m_expanded)
        place(m_text, 48, 8, w - 56, 42);
    const int y = h - m_extraHeight - 32;
    place(m_ok, (w - bw) / 2, y, bw, 25);
    place(m_terminate, 5, y, bw, 25);
    place(m_details, w - bw - 5, y, bw, 25);
    const int boxHeight = std::max(13, std::min(m_send->sizeHint().height(), 16));
    place(m_send, 4, y + 34, (w - 8) / 2, boxHeight);
    place(m_copy, w - (w - 8) / 2 - 4, y + 34, (w - 8) / 2, boxHeight);
    place(m_screenshot, 23, y + 50, w - 23, boxHeight);
}

void TSivrelReportDialog::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter(this).drawPixmap(ClientOrigin() + QPoint(8, 8), SivrelMaskedMonitor());
}

void TSivrelReportDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (isMaximized())
        m_state = 3;
    else if (isMinimized())
        m_state = 6;
    else if (m_expanded) {
        m_state = 1;
        m_placement.setSize(size());
    }
    Layout();
}

void TSivrelReportDialog::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    if (m_expanded && !isMaximized())
        m_placement.moveTopLeft(pos());
}

void TSivrelReportDialog::ShowPage(int index)
{
    StoreColumns();
    delete m_page;
    m_page = nullptr;
    m_list = nullptr;
    m_pageIndex = index;
    QWidget* holder = m_tabs->widget(index);
    if (!holder)
        return;
    if (!holder->layout())
        new QVBoxLayout(holder);
    m_page = new QWidget(holder);
    holder->layout()->addWidget(m_page);
    auto* layout = new QVBoxLayout(m_page);
    layout->setContentsMargins(0, 0, 0, 0);
    static const int headers[4] = {5, 7, 9, 11};
    auto* caption = new QLabel(m_options.GetText(headers[index]), m_page);
    caption->setObjectName(QStringLiteral("Id102"));
    caption->setFont(QApplication::font("QMessageBox"));
    layout->addWidget(caption);
    if (index == 0 || index == 3) {
        auto* memo = new QPlainTextEdit(m_page);
        memo->setObjectName(QStringLiteral("Id103"));
        memo->setReadOnly(true);
        memo->setLineWrapMode(QPlainTextEdit::NoWrap);
        memo->setFont(FixedFont());
        if (m_data.Texts)
            memo->setPlainText(QString(index == 0 ? m_data.Texts->HeaderText : m_data.Texts->CPUText)
                                   .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        layout->addWidget(memo);
        m_page->show();
        return;
    }
    m_list = new QTreeWidget(m_page);
    m_list->setObjectName(QStringLiteral("Id103"));
    m_list->setRootIsDecorated(false);
    m_list->setFont(FixedFont());
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    const bool stack = index == 1;
    QStringList captions;
    for (int t = stack ? 47 : 62; t < (stack ? 53 : 68); ++t)
        captions << m_options.GetText(t);
    m_list->setHeaderLabels(captions);
    for (int c = 0; c < 6; ++c) {
        const QString key = (stack ? QStringLiteral("Col%1") : QStringLiteral("ColMod%1")).arg(c);
        int def = QString::fromLatin1((stack ? CallStackDefaults : ModuleDefaults)[c]).toInt();
        if (c == 0)  // 80 pixels held eight digits; addresses have sixteen here
            def = std::max(def, QFontMetrics(m_list->font()).horizontalAdvance(QString(16, u'0')) + 12 + 20);  // and the icon
        m_list->setColumnWidth(c, ProfileInt(key, def));
    }
    const auto right = [](QTreeWidgetItem* item, int c) { item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter); };
    if (stack) {
        right(m_list->headerItem(), 5);
        for (const TSivrelDebugInfo& e : m_data.CallStack) {
            if (e.Kind < 2 || e.Kind > 4 || (e.Kind == 3 && e.Module && e.Module->ModuleType == mtExecutable))
                continue;
            auto* item = new QTreeWidgetItem(m_list, {SivrelHexAddress(e.Address), e.Module ? FileNameOf(e.Module->FileName) : QString(),
                                                      e.UnitName, e.ClassName, e.ProcedureName,
                                                      e.Line ? QString::number(e.Line) : QString()});
            item->setIcon(0, SivrelListIcon(CallStackIcon(e)));
            right(item, 5);
        }
        connect(m_list, &QTreeWidget::itemActivated, this, [](QTreeWidgetItem* item) {
            if (!item->text(5).isEmpty())
                SendIdeMessage(item->text(2), item->text(5).toInt());
        });
    } else {
        right(m_list->headerItem(), 3);
        right(m_list->headerItem(), 4);
        for (const TSivrelModuleRef& m : m_data.Modules) {
            if (!m)
                continue;
            auto* item = new QTreeWidgetItem(m_list, {SivrelHexAddress(m->Handle), FileNameOf(m->FileName), m->Description,
                                                      ShortVersion(m->Version), SizeInKb(m->FileSize), ModuleFolder(m->FileName)});
            item->setIcon(0, SivrelListIcon(ModuleIcon(m->FileName, m->ModuleType)));
            right(item, 3);
            right(item, 4);
        }
    }
    layout->addWidget(m_list);
    m_page->show();
}

void TSivrelReportDialog::StoreColumns()
{
    if (!m_list)
        return;
    const bool stack = m_pageIndex == 1;
    for (int c = 0; c < 6; ++c)
        SetProfile((stack ? QStringLiteral("Col%1") : QStringLiteral("ColMod%1")).arg(c), QString::number(m_list->columnWidth(c)));
}

void TSivrelReportDialog::StorePlacement()
{
    if (!m_remembered)
        return;
    if (m_state == 1) {
        SetProfile(QStringLiteral("Width"), QString::number(m_placement.width()));
        SetProfile(QStringLiteral("Height"), QString::number(m_placement.height() - m_extraHeight));
        SetProfile(QStringLiteral("Left"), QString::number(m_placement.left()));
        SetProfile(QStringLiteral("Top"), QString::number(m_placement.top()));
    }
    SetProfile(QStringLiteral("WindowsState"), QString::number(m_state));
}

void TSivrelReportDialog::done(int result)
{
    m_data.SendSwitch = m_send->isChecked();
    m_data.ScreenshotSwitch = m_screenshot->isChecked();
    m_data.CopySwitch = m_copy->isChecked();
    StoreColumns();
    if (m_expanded)
        StorePlacement();
    QDialog::done(result);
}

TSivrelRequestDialog::TSivrelRequestDialog(const TSivrelModuleOptions& options, QWidget* parent) : QDialog(parent)
{
    setProperty("sivrelReporterWindow", true);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowTitle(options.GetText(59));
    auto* look = new TSivrelDialogLook(this, options.CustomDialogLook());
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(options.GetText(60), this);
    label->setObjectName(QStringLiteral("Id100"));
    label->setFont(QApplication::font("QMessageBox"));
    m_edit = new QPlainTextEdit(this);
    m_edit->setObjectName(QStringLiteral("Id101"));
    m_edit->setFont(FixedFont());
    auto* ok = new QPushButton(options.GetText(61), this);
    ok->setObjectName(QStringLiteral("Id2"));
    ok->setFont(label->font());
    layout->addWidget(label);
    layout->addWidget(m_edit);
    layout->addWidget(ok, 0, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    // Our own caption and frame come on top of the client area.
    resize(480 + 2 * look->FrameWidth(), 240 + 2 * look->FrameWidth() + look->CaptionHeight());
}

QString TSivrelRequestDialog::RequestText() const
{
    return NormalizeRequestText(m_edit->toPlainText().replace(u'\n', QStringLiteral("\r\n")));
}

void TSivrelRequestDialog::done(int result)
{
    // OK, Escape and the close box all take the text.
    QDialog::done(result);
}

} // namespace excreport
