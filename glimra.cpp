// The program entry: the framework starts before any window, the viewer is created first as the
// main window, the event loop runs until it closes, then the windows go and the framework ends.
#include "framework/kv_reg.h"
#include "framework/textfil.h"
#include "framework/uihooks.h"
#include "platform/endsignals.h"
#include "printing/printform.h"
#include "sysinfo/isysinfo.h"
#include "transfer/ftpunit.h"
#include "transfer/input.h"
#include "transfer/serveroppsett.h"
#include "viewer/guardedapplication.h"
#include "viewer/main.h"
#include "viewer/qtbokmal.h"

#include <QIcon>
#include <QPointer>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

bool HasDisplay()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Closes the open dialogs (a message box, the open dialog), innermost first, as the user would
// answer them; each returns to the handler that opened it.
void CloseModalWindows()
{
    for (int guard = 0; guard < 20; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        modal->close();
        if (QApplication::activeModalWidget() == modal)
            modal->hide();
    }
}

// A start that cannot go on: the reason goes to stderr and, on a screen someone looks at, to the
// user in a box; the log keeps it with whatever lines the run has, and the program ends.
int FailedStart(const QString& reason)
{
    std::fprintf(stderr, "glimra: %s\n", qPrintable(reason));
    LogLine(QStringLiteral("FEIL: ") + reason);
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
        ShowMessage(QStringLiteral("FEIL"), reason + QStringLiteral("\n\nProgrammet avsluttes."));
    LogEnd();
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));

    if (!HasDisplay()) {
        std::fprintf(stderr, "glimra: finner ingen skjerm å vise vinduet på (DISPLAY er ikke satt)\n");
        return 1;
    }

    // The toolkit's application object comes first, with no window yet, so that a message the
    // framework's start has to show (a log file that cannot be made anew) reaches the user in a
    // box. The command line is the program's own: the toolkit sees only the program name, so a
    // picture whose name looks like a toolkit option is still a picture.
    int toolkitArgc = 1;
    GuardedApplication app(toolkitArgc, argv);
    GuardedApplication::installUiHooks();
    app.setWindowIcon(QIcon(QStringLiteral(":/glimra/logo.png")));
    if (!InstallQtBokmal())
        std::fprintf(stderr, "glimra: fant ikke den norske oversettelsen av dialogtekstene\n");

    // SIGTERM (logout, shutdown), SIGHUP and SIGINT end the program as if the user had closed
    // the viewer: open dialogs are closed, the viewer's close handler runs, every event loop
    // ends, and the end order below saves the settings and the log. A signal that comes during
    // the start is acted on as soon as the viewer's event loop runs.
    EndSignals endSignals;
    QPointer<TBildeviserForm> mainWindow;
    const auto endAsClosed = [&] {
        // The session may be ending, with nobody left to answer a box: from here on a message
        // or an error (a save that fails in a close handler) goes to stderr and the log rather
        // than waiting for the user.
        uiHooks().message = [](const QString& caption, const QString& text) {
            std::fprintf(stderr, "glimra: %s: %s\n", qPrintable(caption), qPrintable(text));
            LogLine(QStringLiteral("FEIL: ") + text);
        };
        uiHooks().error = [](const QString& text) {
            std::fprintf(stderr, "glimra: %s\n", qPrintable(text));
            LogLine(QStringLiteral("FEIL: ") + text);
        };
        CloseModalWindows();
        if (mainWindow) {
            mainWindow->close();
            QCoreApplication::exit(0);
        }
    };
    QObject::connect(&endSignals, &EndSignals::endRequested, &app, endAsClosed);

    LogStart();
    try {
        FrameworkStartup(args);
    } catch (const std::exception& e) {
        return FailedStart(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return FailedStart(QStringLiteral("ukjent feil under oppstart"));
    }

    int rc = 0;
    // Whatever happens to the windows, the framework's end and the log's last step still run,
    // so the settings and the log reach the disk.
    RunGuarded([&] {
        // The windows in their order; the first is the main window, the others stay hidden
        // until asked for. They are destroyed, last first, before the framework ends, so
        // their destroy handlers still reach the settings file.
        auto viewer = std::make_unique<TBildeviserForm>(startupState().arguments);
        auto sysInfoForm = std::make_unique<TSysInfoForm>(nullptr);  // never shown: ShowSystemInfo makes its own
        auto ftpForm = std::make_unique<TFTPform>();
        auto inputForm = std::make_unique<TInputForm>(viewer.get());
        auto printForm = std::make_unique<TPrintForm>(nullptr);
        auto serverForm = std::make_unique<TServerOppsettForm>(viewer.get());
        mainWindow = viewer.get();
        viewer->show();
        if (endSignals.requested())
            QTimer::singleShot(0, &app, endAsClosed);
        rc = app.exec();
        serverForm.reset();
        printForm.reset();
        inputForm.reset();
        ftpForm.reset();
        sysInfoForm.reset();
        viewer.reset();
    });

    FrameworkShutdown();
    LogEnd();
    return rc;
}
