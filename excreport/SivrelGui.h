#pragma once
// Windows of the reporter from any thread: a step that needs the GUI runs on the GUI thread when
// that thread can serve it, and in a helper process (this program started again in helper mode)
// when the GUI thread crashed or is frozen.
#include <QByteArray>
#include <QString>
#include <functional>

namespace excreport {

// Runs the step on the GUI thread: here when this is the GUI thread, through the listener slot
// when the GUI thread waits for the current report, through a blocking queued call when it is
// free. False when the GUI thread cannot serve (crashed or frozen) or there is no GUI.
bool SivrelRunOnGuiThread(const std::function<void()>& step);

// The reporter's custom message: an information box with the caption, on top of other windows.
// Shown on the GUI thread, or by a helper process when the GUI thread cannot serve and a display
// exists. With QLY_SIVREL_AUTOANSWER set (tests), the box is not shown: it writes
// "[box] <caption>|<text>" (from a helper: "[box from helper] ...") to stderr and answers at once.
void SivrelMessageBox(const QString& caption, const QString& text);

// Runs a step in a helper process when a display exists: "dialog" for the report dialog
// (SivrelDialog.h packs its data), "clipboard" for a text (UTF-8) to copy. The helper's exit code, or -1 when it could not run.
int SivrelRunInHelper(const char* kind, const QByteArray& data);

// The helper mode of a program that carries the reporter: when QLY_SIVREL_HELPER is set, the
// program's main is replaced by this (it reads the step from stdin). Returns the exit code.
bool SivrelHelperRequested();
int SivrelRunHelper(int argc, char** argv);

} // namespace excreport
