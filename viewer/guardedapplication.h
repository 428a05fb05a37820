#pragma once
// The application object. Qt does not let an exception cross its event loop, so every event a
// window handles passes through notify(), which catches what a handler throws and shows it as
// the toolkit's error message; the program goes on.
#include <QApplication>

class GuardedApplication : public QApplication {
public:
    GuardedApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Installs the Qt message box, busy cursor and error message behind the framework's hooks.
    static void installUiHooks();
};

// Runs a handler under the same guard, for code that runs outside the event loop (FormCreate).
// Returns false when the handler failed; the error has then been shown.
bool RunGuarded(const std::function<void()>& handler);
