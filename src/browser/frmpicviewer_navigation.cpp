// Drives, folders, patterns and the file list of the browser window.
#include "app/module1.h"
#include "browser/frmpicviewer.h"
#include "browser/thumbnailsurface.h"
#include "system/drives.h"
#include "widgets/browsewidgets.h"

#include <QComboBox>
#include <QLabel>
#include <QToolButton>

namespace lumenta {

QString FrmPicViewer::prefix() const {
    return AddBackslash(DirList->path());
}

void FrmPicViewer::drvList_Change() {
    if (m_changingDrive)
        return;
    m_changingDrive = true;
    const QString root = drvList->drive();
    if (!isDriveReady(root) || !DirList->setPath(root)) {
        // The drive cannot be read: back to the drive of the current folder.
        {
            const QSignalBlocker quiet(drvList);
            drvList->setDrive(DirList->path());
        }
        ErrMsgProc(QStringLiteral("DrvList_Change"), 68, tr("Périphérique non disponible"));
    }
    m_changingDrive = false;
}

void FrmPicViewer::DirList_Change() {
    {
        const QSignalBlocker quiet(drvList);
        drvList->setDrive(DirList->path());
    }
    showFolderLabels();
    if (searchRunning()) {
        // The search walk moves through the folders: only the list follows.
        relist(cboSearchPattern->currentText());
        return;
    }
    ClearPicView();
    // The thumbnails of the folder left behind go at once, whether or not
    // the new folder's are built.
    ClearPicList();
    relist(cboPattern->currentText(), [this] {
        if (autoImagesOn())
            LoadPicList();
    });
}

void FrmPicViewer::cboPattern_Click(const QString& pattern) {
    if (folderMode()) {
        ClearPicView();
        relist(pattern, [this] { LoadPicList(); });
        return;
    }
    ClearFoundList();
    relist(pattern);
}

void FrmPicViewer::showFolderLabels() {
    lblImagesPanelDir->setText(DirList->path());
    lblSearchPanelDir->setText(DirList->path());
    lblImagesPanelDir->setToolTip(DirList->path());
    lblSearchPanelDir->setToolTip(DirList->path());
}

void FrmPicViewer::updateFilesCount() {
    lblFilesCount->setText(tr("Fichiers : ") + QString::number(FilList->listCount()));
}

void FrmPicViewer::relist(const QString& pattern, Then then) {
    if (m_listingCancel)
        m_listingCancel->store(true);
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    m_listingCancel = cancel;
    const quint64 generation = ++m_listingGeneration;
    const QString folder = DirList->path();
    // Until the names arrive, the list shows nothing that could be clicked
    // as a file of the new folder.
    FilList->setListing(folder, pattern, {});
    m_listing = true;
    updateBusyCursor();
    m_pool.start([this, cancel, generation, folder, pattern, then] {
        FolderListing listing = listFolder(folder, pattern, cancel.get());
        if (cancel->load())
            return;
        QMetaObject::invokeMethod(
            this,
            [this, generation, listing = std::move(listing), then] {
                if (generation == m_listingGeneration)
                    listed(listing, then);
            },
            Qt::QueuedConnection);
    });
}

void FrmPicViewer::listed(const FolderListing& listing, const Then& then) {
    m_listing = false;
    updateBusyCursor();
    FilList->setListing(listing.folder, listing.pattern, listing.names);
    updateFilesCount();
    if (then)
        then();
}

} // namespace lumenta
