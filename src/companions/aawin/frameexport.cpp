#include "frameexport.h"

#include "flicdecoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTextStream>

namespace lumenta::aawin {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("aawin", text);
}

void reportUnreadable(const QString& animation, const QString& why, QTextStream& err) {
    err << unreadableMessage(animation);
    if (!why.isEmpty())
        err << " (" << why << ")";
    err << Qt::endl;
}

} // namespace

QString unreadableMessage(const QString& path) {
    return tr("Impossible de lire l'animation : ") + QDir::toNativeSeparators(path);
}

int exportFrames(const QString& animation, const QString& folder, QTextStream& err) {
    const QDir dir(folder);
    if (!QDir().mkpath(dir.absolutePath())) {
        err << tr("Impossible de créer le dossier : ") << QDir::toNativeSeparators(folder)
            << Qt::endl;
        return ExitOutputFailed;
    }
    QString failedFile;
    auto write = [&](int index, const QImage& frame) {
        const QString name = QStringLiteral("frame%1.png").arg(index, 4, 10, QLatin1Char('0'));
        if (!frame.save(dir.filePath(name), "PNG")) {
            failedFile = dir.filePath(name);
            return false;
        }
        return true;
    };
    FlicSummary summary;
    QString why;
    if (!decodeFlicFrames(animation, write, summary, why)) {
        reportUnreadable(animation, why, err);
        return ExitUnreadable;
    }
    QFile timing(dir.filePath(QStringLiteral("timing.txt")));
    if (failedFile.isEmpty() && !timing.open(QIODevice::WriteOnly | QIODevice::Truncate))
        failedFile = timing.fileName();
    if (!failedFile.isEmpty()) {
        err << tr("Impossible d'écrire le fichier : ") << QDir::toNativeSeparators(failedFile)
            << Qt::endl;
        return ExitOutputFailed;
    }
    QTextStream lines(&timing);
    for (int i = 0; i < summary.frames; ++i) {
        lines << FlicDecoder::frameStartMs(i + 1, summary.frameDurationMs) -
                     FlicDecoder::frameStartMs(i, summary.frameDurationMs)
              << '\n';
    }
    lines.flush();
    if (lines.status() != QTextStream::Ok || !timing.flush()) {
        err << tr("Impossible d'écrire le fichier : ")
            << QDir::toNativeSeparators(timing.fileName()) << Qt::endl;
        return ExitOutputFailed;
    }
    return ExitOk;
}

int printInfo(const QString& animation, QTextStream& out, QTextStream& err) {
    FlicSummary summary;
    QString why;
    if (!decodeFlicFrames(
            animation, [](int, const QImage&) { return true; }, summary, why)) {
        reportUnreadable(animation, why, err);
        return ExitUnreadable;
    }
    out << tr("images : %1").arg(summary.frames) << '\n'
        << tr("taille : %1x%2").arg(summary.size.width()).arg(summary.size.height()) << '\n'
        << tr("durée d'une image : %1 ms").arg(summary.frameDurationMs, 0, 'f', 2) << Qt::endl;
    return ExitOk;
}

} // namespace lumenta::aawin
