#include "platform/grid/WinCompat.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QMutex>
#include <QRegularExpression>
#include <QStringList>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <dlfcn.h>

namespace tk {

namespace {
std::atomic<int> g_oleCount{0};

QMutex g_formatLock;
QStringList& formatNames()
{
    static QStringList names;
    return names;
}

// The file of the loaded Qt Widgets library, with its links followed.
QString widgetsLibraryFile()
{
    Dl_info info{};
    if (dladdr(static_cast<const void*>(&QWidget::staticMetaObject), &info) == 0 || !info.dli_fname)
        return QString();
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).canonicalFilePath();
}
} // namespace

uint32_t OleInitialize()
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return CO_E_NOTINITIALIZED;
    if (QThread::currentThread() != app->thread())
        return RPC_E_WRONG_THREAD;
    return g_oleCount.fetch_add(1) == 0 ? S_OK_ : S_FALSE_;
}

void OleUninitialize()
{
    int n = g_oleCount.load();
    while (n > 0 && !g_oleCount.compare_exchange_weak(n, n - 1)) {
    }
}

int OleInitCount() { return g_oleCount.load(); }

int32_t VersionFromLibraryName(const QString& fileName)
{
    static const QRegularExpression re(QStringLiteral("\\.so\\.(\\d+)(?:\\.(\\d+))?(?:\\.\\d+)*$"));
    const auto m = re.match(QFileInfo(fileName).fileName());
    if (!m.hasMatch())
        return -1;
    bool ok1 = false, ok2 = true;
    const uint major = m.captured(1).toUInt(&ok1);
    const uint minor = m.captured(2).isEmpty() ? 0 : m.captured(2).toUInt(&ok2);
    if (!ok1 || !ok2 || major > 0xFFFF || minor > 0xFFFF)
        return -1;
    return int32_t((major << 16) | minor);
}

int32_t GetFileVersion(const QString& fileName)
{
    QString path = fileName;
    if (fileName.compare(QLatin1String("comctl32.dll"), Qt::CaseInsensitive) == 0)
        path = widgetsLibraryFile();
    else
        path = QFileInfo(fileName).canonicalFilePath();
    if (path.isEmpty())
        return -1;
    return VersionFromLibraryName(path);
}

uint16_t RegisterClipboardFormat(const QString& name)
{
    QMutexLocker lock(&g_formatLock);
    QStringList& names = formatNames();
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return uint16_t(0xC000 + i);
    names.append(name);
    return uint16_t(0xC000 + names.size() - 1);
}

QString ClipboardFormatMimeType(uint16_t format)
{
    QMutexLocker lock(&g_formatLock);
    const int i = int(format) - 0xC000;
    if (i < 0 || i >= formatNames().size())
        return QString();
    return QStringLiteral("application/x-qt-windows-mime;value=\"%1\"").arg(formatNames()[i]);
}

void SetWindowTransparent(QWidget* window)
{
    if (window)
        window->setAttribute(Qt::WA_TransparentForMouseEvents, true);
}

bool SetLayeredWindowAlpha(QWidget* window, int alpha)
{
    if (!window)
        return false;
    window->setWindowOpacity(std::clamp(alpha, 0, 255) / 255.0);
    return true;
}

} // namespace tk
