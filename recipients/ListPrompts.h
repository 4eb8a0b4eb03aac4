#pragma once
// Questions, messages and signals that the recipient-list code shows the user. The window
// implements them with message boxes (questions carry the caption "Bestätigung"); tests script them.
#include <QString>

namespace recipients {

enum class TAskButtons { YesNo, YesNoCancel, OkCancel };
enum class TAnswer { Yes, No, Ok, Cancel };

class IListPrompts {
public:
    virtual ~IListPrompts() = default;
    // A question with the caption "Bestätigung".
    virtual TAnswer Ask(const QString& text, TAskButtons buttons) = 0;
    // A plain message with the application's title.
    virtual void Message(const QString& text) = 0;
    // An information box with an OK button.
    virtual void Information(const QString& text) = 0;
    // A warning box with an OK button.
    virtual void Warning(const QString& text) = 0;
    // The system beep.
    virtual void Beep() {}
    // Draws the user's attention to the main window (its task bar entry flashes).
    virtual void AlertMainWindow() {}
    // Hourglass cursor on (true) and off (false) around long list operations; calls nest.
    virtual void Busy(bool on) { (void)on; }
};

} // namespace recipients
