#pragma once
// The toolkit's own German texts: the buttons of message boxes ("Ja", "Nein", "Abbrechen"), the
// file dialogs, the edit and web view menus. The program's own texts are German already.
#include <QStringList>

class QCoreApplication;

namespace app {

// Installs the toolkit's German catalogues from its translations folder on the application.
// Returns the catalogues that were found and installed (empty when the translations package is
// missing: the toolkit then speaks English, and the program still runs).
QStringList LoadToolkitTranslations(QCoreApplication& app);

} // namespace app
