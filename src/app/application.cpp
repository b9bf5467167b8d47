#include "app/application.h"

#include "app/appcontext.h"
#include "app/translations.h"
#include "dialogs/qtdialogs.h"
#include "picture/pictureservice.h"
#include "viewer/lumenta.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace lumenta {

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
    ctx.pictureService = std::make_shared<PictureService>();
    ctx.state.AppFolder = QDir::cleanPath(QCoreApplication::applicationDirPath());
    ctx.state.loadSettingsAtStartup();

    Lumenta window(ctx);
    window.startUp();
    window.show();
    return app.exec();
}

} // namespace lumenta
