#include "program/application.h"

#include "app/appcontext.h"
#include "app/commandline.h"
#include "app/displayplatform.h"
#include "app/quitsignals.h"
#include "app/translations.h"
#include "dialogs/qtdialogs.h"
#include "picture/pictureservice.h"
#include "viewer/lumenta.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QTimer>

#include <csignal>
#include <cstdio>

static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace lumenta {

namespace {

void describeApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("Lumenta"));
    QCoreApplication::setOrganizationName(QStringLiteral("Lumenta"));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                                .arg(LUMENTA_VERSION_MAJOR)
                                                .arg(LUMENTA_VERSION_MINOR)
                                                .arg(LUMENTA_VERSION_PATCH));
}

// Help, version or a mistake in the arguments: answered in French, help
// and version on standard output, mistakes on standard error.
int answerWithoutRunning(const CommandLine& cl) {
    const bool ok = cl.action != CommandLine::Action::Error;
    std::fputs(qPrintable(ok ? cl.text
                             : QCoreApplication::applicationName() + QStringLiteral(": ") +
                                   cl.text + QLatin1Char('\n')),
               ok ? stdout : stderr);
    return ok ? 0 : 1;
}

// --help and --version need no display.
int answerHelpOrVersion(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    describeApplication();
    installFrenchTranslations();
    return answerWithoutRunning(parseCommandLine(QCoreApplication::arguments()));
}

} // namespace

int runApplication(int argc, char** argv) {
    if (asksForHelpOrVersion(argc, argv))
        return answerHelpOrVersion(argc, argv);

    choosePlatform();
    QApplication app(argc, argv);
    QuitSignals quitSignals({SIGTERM, SIGINT, SIGHUP});
    describeApplication();
    installFrenchTranslations();
    initResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/lumenta/lumenta.svg")));
    QApplication::setDesktopFileName(QStringLiteral("lumenta"));

    const CommandLine cl = parseCommandLine(QCoreApplication::arguments());
    if (cl.action != CommandLine::Action::Run)
        return answerWithoutRunning(cl);

    AppContext ctx;
    QtDialogs dialogs;
    ctx.dialogs = &dialogs;
    ctx.pictureService = std::make_shared<PictureService>();
    ctx.state.AppFolder = QDir::cleanPath(QCoreApplication::applicationDirPath());
    ctx.state.loadSettingsAtStartup();

    Lumenta window(ctx);
    window.startUp();
    window.show();
    // A logout, a shutdown or Ctrl+C in the terminal ends the program as
    // "&Quitter" does.
    QObject::connect(&quitSignals, &QuitSignals::received, &window,
                     [&window] { window.Mnu_Quitter->trigger(); });
    if (const QString path = cl.path; !path.isEmpty())
        QTimer::singleShot(0, &window, [&window, path] { window.openFromCommandLine(path); });
    return app.exec();
}

} // namespace lumenta
