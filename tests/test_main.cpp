// Shared main of the test programs: a QApplication on the offscreen platform (unless the caller
// chose another), so that widget tests and the ones without a screen run the same way.
#include "viewer/metafile.h"

#include <QApplication>
#include <gtest/gtest.h>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("LANG"))
        qputenv("LANG", "nb_NO.UTF-8");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // The metafile helper is built beside the program, not beside the test programs.
    SetMetafileHelperPath(QStringLiteral(GLIMRA_METAFILE_HELPER));
    return RUN_ALL_TESTS();
}
