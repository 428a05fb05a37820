#include "viewer/guardedapplication.h"
#include "framework/uihooks.h"

#include <QMessageBox>
#include <exception>

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool GuardedApplication::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    RunGuarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

bool RunGuarded(const std::function<void()>& handler)
{
    try {
        handler();
        return true;
    } catch (const std::exception& e) {
        ShowError(QString::fromStdString(e.what()));
    } catch (...) {
        ShowError(QStringLiteral("Ukjent feil"));
    }
    return false;
}

void GuardedApplication::installUiHooks()
{
    UiHooks& hooks = uiHooks();
    hooks.message = [](const QString& caption, const QString& text) {
        QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
        box.exec();
    };
    hooks.error = [](const QString& text) {
        QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Feil"), text);
    };
    hooks.busyCursor = [](bool busy) {
        if (busy)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QGuiApplication::restoreOverrideCursor();
    };
}
