// aawin: plays an FLI or FLC animation in a window, looping, at the
// animation's own pace.
//
//   aawin <fichier>                      play in a window
//   aawin --frames-out <dossier> <fichier>   write every frame as PNG, no window
//   aawin --info <fichier>               print frames, size and frame duration
//
// Exit code 1 when the animation cannot be read (a message box says so in
// window mode), 2 when the frames cannot be written.
#include "animationwindow.h"
#include "frameexport.h"

#include "app/translations.h"
#include "dialogs/qtdialogs.h"
#include "flicdecoder.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>
#include <cstdio>
#include <cstring>
#include <memory>

using namespace lumenta;
using namespace lumenta::aawin;

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("aawin", text);
}

// The modes without a window must also run where no display exists, so the
// kind of application is chosen before Qt parses the command line.
bool runsWithoutWindow(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--") == 0)
            break;
        for (const char* option :
             {"--frames-out", "--info", "-h", "--help", "--help-all", "-v", "--version"}) {
            const size_t n = std::strlen(option);
            if (std::strncmp(a, option, n) == 0 && (a[n] == '\0' || a[n] == '='))
                return true;
        }
    }
    return false;
}

int playInWindow(const QString& path) {
    installFrenchTranslations();
    QtDialogs dialogs;
    auto decoder = std::make_unique<FlicDecoder>();
    QImage first;
    if (!decoder->open(path) || !decoder->readFrame(first)) {
        dialogs.message(unreadableMessage(path), tr("Erreur"), MsgIcon::Stop);
        return ExitUnreadable;
    }
    AnimationWindow window(std::move(decoder), std::move(first));
    window.show();
    window.play();
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    const bool headless = runsWithoutWindow(argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (headless)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("aawin"));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                                .arg(LUMENTA_VERSION_MAJOR)
                                                .arg(LUMENTA_VERSION_MINOR)
                                                .arg(LUMENTA_VERSION_PATCH));

    QCommandLineParser parser;
    parser.setApplicationDescription(tr("Lecteur d'animations FLI et FLC."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption framesOut(
        QStringLiteral("frames-out"),
        tr("Décode chaque image une fois et l'écrit en PNG dans <dossier> (frame0000.png, ...) "
           "avec timing.txt, la durée d'affichage de chaque image en ms ; sans fenêtre."),
        tr("dossier"));
    const QCommandLineOption info(
        QStringLiteral("info"),
        tr("Affiche le nombre d'images, leur taille et la durée d'une image ; sans fenêtre."));
    parser.addOption(framesOut);
    parser.addOption(info);
    parser.addPositionalArgument(tr("fichier"), tr("Animation à lire (FLI ou FLC)."));
    parser.process(*app);

    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        QTextStream(stderr) << parser.helpText();
        return ExitUnreadable;
    }
    const QString path = files.constFirst();
    if (!headless)
        return playInWindow(path);

    QTextStream out(stdout);
    QTextStream err(stderr);
    int code = ExitOk;
    if (parser.isSet(info))
        code = printInfo(path, out, err);
    if (code == ExitOk && parser.isSet(framesOut))
        code = exportFrames(path, parser.value(framesOut), err);
    return code;
}
