// The program entry: the framework starts before any window, the viewer is created first as the
// main window, the event loop runs until it closes, then the windows go and the framework ends.
#include "framework/kv_reg.h"
#include "framework/textfil.h"
#include "printing/printform.h"
#include "viewer/guardedapplication.h"
#include "viewer/main.h"
#include "viewer/qtbokmal.h"

#include <cstdio>
#include <memory>

namespace {

bool HasDisplay()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
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
    if (!InstallQtBokmal())
        std::fprintf(stderr, "glimra: fant ikke den norske oversettelsen av dialogtekstene\n");

    LogStart();
    try {
        FrameworkStartup(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "glimra: %s\n", e.what());
        return 1;
    }

    int rc = 0;
    // Whatever happens to the windows, the framework's end and the log's last step still run,
    // so the settings and the log reach the disk.
    RunGuarded([&] {
        // The windows in their order; the first is the main window, the others stay hidden
        // until asked for. They are destroyed, last first, before the framework ends, so
        // their destroy handlers still reach the settings file.
        auto viewer = std::make_unique<TBildeviserForm>(startupState().arguments);
        auto printForm = std::make_unique<TPrintForm>(nullptr);
        viewer->show();
        rc = app.exec();
        printForm.reset();
        viewer.reset();
    });

    FrameworkShutdown();
    LogEnd();
    return rc;
}
