#pragma once
// Stand-ins for the few system services the grid family asks for at start-up and when its windows
// are created: the per-thread OLE initialisation (clipboard and drag and drop), the version of a
// shared library, registered clipboard formats and the transparent window style.
#include <QString>
#include <cstdint>
#include <stdexcept>

class QWidget;

namespace tk {

// The toolkit's assertion failure: a message and the place that asserted.
class EAssertionFailed : public std::runtime_error {
public:
    EAssertionFailed(const QString& message, const QString& unit, int line)
        : std::runtime_error(message.toStdString()), m_message(message), m_unit(unit), m_line(line) {}
    QString message() const { return m_message; }
    QString unit() const { return m_unit; }
    int line() const { return m_line; }
private:
    QString m_message;
    QString m_unit;
    int m_line;
};

// Result codes of OleInitialize.
constexpr uint32_t S_OK_ = 0;
constexpr uint32_t S_FALSE_ = 1;
constexpr uint32_t CO_E_NOTINITIALIZED = 0x800401F0; // no application object yet
constexpr uint32_t RPC_E_WRONG_THREAD = 0x8001010E;  // not the application's thread

// Clipboard and drag and drop need a QGuiApplication and work on its thread only. Answers S_OK for
// the first call, S_FALSE for later ones (counted), or one of the two failures above.
uint32_t OleInitialize();
// Balances one successful OleInitialize.
void OleUninitialize();
// Successful initialisations not yet balanced.
int OleInitCount();

// The version of a shared library as major << 16 | minor, read from its real file name
// ("libQt6Widgets.so.6.4.2" gives 0x00060004), or -1 when the file is missing or its name carries no
// version. "comctl32.dll" (any case) stands for the loaded Qt Widgets library.
int32_t GetFileVersion(const QString& fileName);
// The version part of a library file name: "libfoo.so.4.70" gives 0x00040046; -1 without one.
int32_t VersionFromLibraryName(const QString& fileName);

// A clipboard format id for a name: the same name (ignoring case) always gets the same id, new names
// get ids from 0xC000 up.
uint16_t RegisterClipboardFormat(const QString& name);
// The MIME type that carries a registered format, empty for an unknown id.
QString ClipboardFormatMimeType(uint16_t format);

// Lets mouse events pass through the window to what lies below it.
void SetWindowTransparent(QWidget* window);

// A window of constant alpha (0 invisible .. 255 opaque). Without a compositor the window stays
// opaque; that cannot be told apart here, so success is reported as on systems without layering.
bool SetLayeredWindowAlpha(QWidget* window, int alpha);

} // namespace tk
