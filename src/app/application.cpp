#include "app/application.h"

#include "app/appcontext.h"
#include "platform/qtdialogs.h"
#include "viewer/lumenta.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace lumenta {

void installFrenchTranslations() {
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* name : {"qtbase_fr", "qt_fr"}) {
        auto* t = new QTranslator(qApp);
        if (t->load(QString::fromLatin1(name), dir)) {
            QCoreApplication::installTranslator(t);
            break; // qt_fr is a meta catalogue that includes qtbase_fr
        }
        delete t;
    }
}

int runApplication(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumenta"));
    QApplication::setOrganizationName(QStringLiteral("Lumenta"));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(LUMENTA_VERSION_MAJOR)
                                            .arg(LUMENTA_VERSION_MINOR)
                                            .arg(LUMENTA_VERSION_PATCH));
    installFrenchTranslations();
    initResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/lumenta/lumenta.svg")));
    QApplication::setDesktopFileName(QStringLiteral("lumenta"));

    AppContext ctx;
    QtDialogs dialogs;
    ctx.dialogs = &dialogs;
    ctx.state.AppFolder = QDir::cleanPath(QCoreApplication::applicationDirPath());
    ctx.state.loadSettingsAtStartup();

    Lumenta window(ctx);
    window.startUp();
    window.show();
    return app.exec();
}

} // namespace lumenta
