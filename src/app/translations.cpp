#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace lumenta {

void installFrenchTranslations() {
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* name : {"qtbase_fr", "qt_fr"}) {
        auto* t = new QTranslator(QCoreApplication::instance());
        if (t->load(QString::fromLatin1(name), dir)) {
            QCoreApplication::installTranslator(t);
            break; // qt_fr is a meta catalogue that includes qtbase_fr
        }
        delete t;
    }
}

} // namespace lumenta
