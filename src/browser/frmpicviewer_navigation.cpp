// Drives, folders, patterns and the file list of the browser window.
#include "app/module1.h"
#include "browser/frmpicviewer.h"
#include "browser/thumbnailsurface.h"
#include "system/drives.h"
#include "widgets/browsewidgets.h"

#include <QComboBox>
#include <QFocusEvent>
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

// The folder list was left: the folder highlighted with the keyboard is
// opened, so that it is the one entered when the focus moves on.
void FrmPicViewer::DirList_LostFocus() {
    const QString highlighted = DirList->highlightedPath();
    if (!highlighted.isEmpty() && highlighted != DirList->path())
        DirList->setPath(highlighted);
}

bool FrmPicViewer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == DirList && event->type() == QEvent::FocusOut) {
        // Only the user leaves the list: Tab, Shift+Tab or a click
        // elsewhere in the window. The window losing activation, a menu,
        // the list being hidden or a focus change made by the window itself
        // open nothing.
        const Qt::FocusReason why = static_cast<QFocusEvent*>(event)->reason();
        if ((why == Qt::TabFocusReason || why == Qt::BacktabFocusReason ||
             why == Qt::MouseFocusReason) &&
            DirList->isVisible())
            DirList_LostFocus();
    }
    return QDialog::eventFilter(watched, event);
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
    // as a file of another folder or pattern; listed again, it keeps its
    // lines (and what is selected) meanwhile.
    FilList->expectListing(folder, pattern);
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
