#include "app/desktop/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

using namespace Qt::StringLiterals;

bool installQtTranslations(QCoreApplication& app, const QLocale& locale) {
    // Owned by the application, so it lives as long as the texts are shown.
    auto* translator = new QTranslator(&app);
    if (!translator->load(locale, u"qtbase"_s, u"_"_s,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
