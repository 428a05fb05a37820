#include "framework/kv_reg.h"
#include "framework/textfil.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    LogStart();
    try {
        FrameworkStartup(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "glimra: %s\n", e.what());
        return 1;
    }
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const int rc = app.exec();
    FrameworkShutdown();
    LogEnd();
    return rc;
}
