#pragma once
// Bokmål for the texts of Qt's own dialogs and buttons (the file dialog, the print set-up with
// its page set-up, message-box buttons). Debian ships Qt's translations for Nynorsk only, so the
// catalogue is ours: translations/qtbase_nb.ts, compiled at build time and built into the
// program.

class QTranslator;

// Loads the catalogue and installs it in the running application. The translator belongs to
// the application object. Returns null (and the dialogs stay in English) when the catalogue
// cannot be loaded.
QTranslator* InstallQtBokmal();
