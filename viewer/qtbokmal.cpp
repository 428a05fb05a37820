#include "viewer/qtbokmal.h"

#include <QCoreApplication>
#include <QTranslator>

QTranslator* InstallQtBokmal()
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral(":/i18n/qtbase_nb.qm")) || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}
