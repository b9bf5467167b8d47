// The clicked picture, loaded through the picture service: the previous
// picture stays until the first rows of the new one fill the viewport, the
// rest arrives while the window stays responsive, and the next picture in the
// direction the user moves is decoded ahead.
#include "app/module1.h"
#include "viewer/dispatch.h"
#include "viewer/lumenta.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QScrollBar>
#include <QToolButton>

namespace lumenta {

void Lumenta::requestPicture(const QString& path) {
    const int row = File1->currentRow();
    if (m_lastPictureRow >= 0 && row >= 0 && row != m_lastPictureRow)
        m_direction = row > m_lastPictureRow ? 1 : -1;
    m_lastPictureRow = row;
    // A newer request of this window supersedes the one still loading, and
    // a command put off for that one with it; asking again for the picture
    // being loaded joins its decoding.
    m_afterLoad = AfterLoad::Nothing;
    m_loadOnScreen = false;
    dropIncoming();
    m_loadTicket = m_ctx.pictures().request(this, PictureRequest::full(path, true));
}

void Lumenta::cancelPictureLoad() {
    m_afterLoad = AfterLoad::Nothing;
    dropIncoming();
    if (!m_loadTicket)
        return;
    m_ctx.pictures().cancel(m_loadTicket);
    m_loadTicket = 0;
    showLastCompletePicture();
}

void Lumenta::showLastCompletePicture() {
    // Rows of a picture that will not be completed may be on screen: the
    // picture area goes back as it was before them, scroll ranges included.
    m_loadOnScreen = false;
    if (!m_partialShown)
        return;
    m_partialShown = false;
    if (m_picture.isTiled())
        Open->setFeed(m_feed);
    else
        Open->setImage(m_picture.image);
    for (QWidget* w : {static_cast<QWidget*>(Open), PicFond, static_cast<QWidget*>(VScroll1),
                       static_cast<QWidget*>(HScroll1)})
        w->setVisible(m_areaShownBefore);
    CalculScroll();
}

void Lumenta::restartTravel() {
    m_lastPictureRow = -1;
    m_direction = 1;
    m_ctx.pictures().cancelPrefetch(this);
}

void Lumenta::showPictureArea() {
    Open->show();
    PicFond->show();
    VScroll1->show();
    HScroll1->show();
    CalculScroll();
}

void Lumenta::pictureRowsReady(PictureTicket ticket, const QImage& image, int rows) {
    if (ticket != m_loadTicket)
        return;
    if (m_loadOnScreen) {
        Open->setRowsReady(rows);
        return;
    }
    // The new picture replaces the previous one once it fills the viewport.
    const int visibleBottom = PicFond->height() - qMin(Open->y(), 0);
    if (rows < qMin(image.height(), visibleBottom))
        return;
    if (!m_partialShown)
        m_areaShownBefore = !Open->isHidden();
    m_partialShown = true;
    m_loadOnScreen = true;
    Open->setImage(image, rows);
    showPictureArea();
}

void Lumenta::pictureLoaded(const PictureResult& result) {
    if (result.ticket != m_loadTicket)
        return;
    m_loadTicket = 0;
    if (!result.ok()) {
        m_afterLoad = AfterLoad::Nothing;
        showLastCompletePicture();
        m_shownPath.clear();
        Command10->hide();
        m_ctx.dlg().message(tr("Format d'image non supporté !"), tr("Erreur"), MsgIcon::Exclamation,
                            MsgButtons::Ok, this);
        return;
    }
    if (result.picture.isTiled())
        receiveTiled(result.request.path, result.picture);
    else
        showNewPicture(result.request.path, result.picture);
}

bool Lumenta::putOffWhileLoading(AfterLoad command) {
    if (!isLoadingPicture())
        return false;
    m_afterLoad = command;
    return true;
}

void Lumenta::runPutOffCommand() {
    const AfterLoad command = std::exchange(m_afterLoad, AfterLoad::Nothing);
    if (command == AfterLoad::Nothing)
        return;
    // From the event loop, not from inside the picture service's delivery:
    // the command may open a modal window.
    QMetaObject::invokeMethod(
        this, [this, command] { runCommand(command); }, Qt::QueuedConnection);
}

void Lumenta::runCommand(AfterLoad command) {
    switch (command) {
    case AfterLoad::Nothing:
        break;
    case AfterLoad::Save:
        EnregSous();
        break;
    case AfterLoad::Copy:
        Image1_DblClick();
        break;
    case AfterLoad::Print:
        printShownPicture();
        break;
    }
}

void Lumenta::prefetchNeighbour() {
    const int next = File1->currentRow() + m_direction;
    if (File1->currentRow() < 0 || next < 0 || next >= File1->listCount())
        return;
    const QString name = File1->nameAt(next);
    if (dispatchGroupFor(extensionOf(name)) != DispatchGroup::Picture)
        return;
    m_ctx.pictures().prefetch(this, PictureRequest::full(AddBackslash(File1->path()) + name));
}

} // namespace lumenta
