#include "browser/browserops.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace lumenta::browserops {

namespace {
QString tr(const char* text) {
    return QCoreApplication::translate("BrowserOps", text);
}
} // namespace

QString errorDescription(const FileResult& result) {
    switch (result.error) {
    case FileError::FileMissing:
        return tr("Fichier introuvable");
    case FileError::AlreadyExists:
        return tr("Le fichier existe déjà");
    case FileError::DiskFull:
        return tr("Disque plein");
    case FileError::PermissionDenied:
        return tr("Permission refusée");
    case FileError::FolderMissing:
        return tr("Chemin d'accès introuvable");
    case FileError::PathAccess:
        return tr("Erreur d'accès path/fichier");
    case FileError::None:
        break;
    }
    return QString();
}

QString folderPart(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    const qsizetype slash = clean.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : clean.left(slash);
}

bool sameFolder(const QString& a, const QString& b) {
    const auto ia = fileIdentity(a), ib = fileIdentity(b);
    if (ia && ib)
        return *ia == *ib;
    return QDir::cleanPath(a) == QDir::cleanPath(b);
}

bool leavesFolder(const QString& name) {
    return name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'));
}

QString absoluteFolder(const QString& typed, const QString& base) {
    return QDir::cleanPath(QDir(base).absoluteFilePath(typed));
}

QString missingFolderQuestion(const QString& folder, bool move, From from) {
    // The four commands word it slightly differently.
    const bool lineBefore = move || from == From::View;
    const bool bang = move ? from == From::FileList : from == From::View;
    return tr("Le dossier ") + folder + (lineBefore ? QStringLiteral("\n") : QString()) +
           (bang ? tr(" n'existe pas !") : tr(" n'existe pas")) + QLatin1Char('\n') +
           tr("Création ?");
}

} // namespace lumenta::browserops
