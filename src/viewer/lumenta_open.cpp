// Starting on a file or a folder named on the command line.
#include "system/filelist.h"
#include "viewer/lumenta.h"
#include "widgets/browsewidgets.h"

#include <QComboBox>
#include <QFileInfo>

namespace lumenta {

void Lumenta::openFromCommandLine(const QString& path) {
    const QFileInfo fi(path);
    QString problem;
    if (!fi.exists())
        problem = tr("Le fichier ou le dossier « %1 » est introuvable.");
    else if (!fi.isReadable() || (fi.isDir() && !fi.isExecutable()))
        problem = tr("Le fichier ou le dossier « %1 » ne peut pas être lu.");
    if (!problem.isEmpty()) {
        m_ctx.dlg().message(problem.arg(path), tr("Erreur"), MsgIcon::Exclamation, MsgButtons::Ok,
                            this);
        return;
    }

    const QString folder = fi.isDir() ? fi.absoluteFilePath() : fi.absolutePath();
    // As at start-up: the folder first, then its drive (which keeps it).
    if (!Dir1->setPath(folder))
        return;
    Drive1->setDrive(folder);
    if (fi.isDir())
        return;

    // A filter that lists the file, so it shows selected in the list.
    QStringList filters;
    for (int i = 0; i < Combo1->count(); ++i)
        filters << Combo1->itemText(i);
    Combo1->setEditText(firstMatchingPattern(fi.fileName(), filters));
    // The picture first: asked for now, while its folder is being listed;
    // its line is selected when the listing brings it.
    File1->selectWhenListed(fi.fileName());
    File1_Click(fi.fileName());
}

} // namespace lumenta
