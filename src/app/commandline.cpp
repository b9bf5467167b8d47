#include "app/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

namespace lumenta {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("CommandLine", text);
}

} // namespace

bool asksForHelpOrVersion(int argc, const char* const* argv) {
    // Read as parseCommandLine() reads them, so that every spelling it
    // answers ("--v", "-hv", ...) is answered without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return parseCommandLine(arguments).action != CommandLine::Action::Run;
}

CommandLine parseCommandLine(const QStringList& arguments) {
    // Qt's own help and version options describe themselves in English
    // only; these say the same in French.
    QCommandLineParser parser;
    parser.setApplicationDescription(tr("Visionneuse d'images : affiche les images, joue les sons "
                                        "et lance les animations et les vidéos."));
    const QCommandLineOption help(
        {QStringLiteral("h"), QStringLiteral("?"), QStringLiteral("help")},
        tr("Affiche cette aide."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     tr("Affiche la version du programme."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(tr("chemin"),
                                 tr("Fichier à afficher (les listes se placent sur son dossier) "
                                    "ou dossier où commencer."),
                                 tr("[fichier|dossier]"));

    CommandLine cl;
    if (!parser.parse(arguments)) {
        cl.action = CommandLine::Action::Error;
        cl.text = parser.errorText();
    } else if (parser.isSet(help)) {
        cl.action = CommandLine::Action::Help;
        cl.text = parser.helpText();
    } else if (parser.isSet(version)) {
        cl.action = CommandLine::Action::Version;
        cl.text = QCoreApplication::applicationName() + QLatin1Char(' ') +
                  QCoreApplication::applicationVersion() + QLatin1Char('\n');
    } else if (parser.positionalArguments().size() > 1) {
        cl.action = CommandLine::Action::Error;
        cl.text = tr("Un seul fichier ou dossier à la fois.");
    } else if (!parser.positionalArguments().isEmpty() &&
               !parser.positionalArguments().first().isEmpty()) {
        QString path = parser.positionalArguments().first();
        if (path.startsWith(QLatin1String("file:")))
            path = QUrl(path).toLocalFile();
        // A name starting with ':' is a file of the current folder (Qt
        // would take it for one of its resources).
        if (path.startsWith(QLatin1Char(':')))
            path.prepend(QLatin1String("./"));
        cl.path = QFileInfo(path).absoluteFilePath();
    }
    return cl;
}

} // namespace lumenta
