// Pictures too large to be decoded whole, in the main window: shown at
// their natural size from tiles decoded for the part in view, the overview
// (decoded once, reduced) standing in, enlarged, wherever a tile has not
// come yet and in the preview. The previous picture stays until the new
// one's overview or its tiles in view have come; the GUI thread never waits
// for a tile.
#include "app/module1.h"
#include "picture/tilefeed.h"
#include "viewer/lumenta.h"
#include "widgets/picturewidgets.h"

#include <QScrollBar>
#include <QToolButton>

namespace lumenta {

namespace {

// The overview's requests: a slot of their own beside the picture's.
constexpr quint64 kOverviewSlot = 1;

} // namespace

void Lumenta::receiveTiled(const QString& path, const Picture& picture) {
    if (!m_feed) {
        m_feed = new TileFeed(m_ctx.pictures(), this);
        m_incomingFeed = new TileFeed(m_ctx.pictures(), this);
        for (TileFeed* feed : {m_feed, m_incomingFeed}) {
            connect(feed, &TileFeed::tilesArrived, this, [this, feed] {
                if (feed == m_incomingFeed)
                    showIncomingWhenReady();
            });
        }
    }
    m_incoming = picture;
    m_incomingPath = path;
    m_incomingFeed->setPicture(path, picture);
    // The scroll offsets stay as they are, within the new picture.
    const QSize view = PicFond->size();
    const QSize natural = picture.naturalSize;
    const QPoint at(qBound(0, -Open->x(), qMax(0, natural.width() - view.width())),
                    qBound(0, -Open->y(), qMax(0, natural.height() - view.height())));
    m_incomingFeed->setViewport(QRect(at, view));
    m_overviewTicket = m_ctx.pictures().request(
        this, overviewRequest(path, kOverviewSlot),
        [this, path](const PictureResult& r) { overviewArrived(path, r); });
}

void Lumenta::overviewArrived(const QString& path, const PictureResult& result) {
    m_overviewTicket = 0;
    if (m_incoming.isTiled() && path == m_incomingPath) {
        if (!result.ok()) {
            // Not even a reduced picture can be made: the file is damaged.
            m_afterLoad = AfterLoad::Nothing;
            dropIncoming();
            m_ctx.dlg().message(tr("Format d'image non supporté !"), tr("Erreur"),
                                MsgIcon::Exclamation, MsgButtons::Ok, this);
            return;
        }
        // The overview stands in for the tiles still to come.
        m_incomingFeed->setOverview(result.picture.image);
        showNewPicture(m_incomingPath, m_incoming);
        return;
    }
    if (result.ok() && m_picture.isTiled() && path == m_shownPath) {
        m_overview = result.picture.image;
        m_feed->setOverview(m_overview);
        Image1->setImage(m_overview);
        Open->update();
    }
}

void Lumenta::showIncomingWhenReady() {
    if (m_incoming.isTiled() && m_incomingFeed->covers(m_incomingFeed->viewport()))
        showNewPicture(m_incomingPath, m_incoming);
}

void Lumenta::dropIncoming() {
    // Another picture is asked for: the overview under way is not needed.
    m_ctx.pictures().cancel(m_overviewTicket);
    m_overviewTicket = 0;
    if (!m_incoming.isTiled())
        return;
    m_incoming = Picture();
    m_incomingPath.clear();
    m_incomingFeed->setPicture(QString(), Picture());
    m_ctx.pictures().cancelAll(m_incomingFeed);
}

void Lumenta::showNewPicture(const QString& path, const Picture& picture) {
    m_loadOnScreen = false;
    m_partialShown = false;
    m_picture = picture;
    m_shownPath = path;
    if (picture.isTiled()) {
        std::swap(m_feed, m_incomingFeed);
        m_incoming = Picture();
        m_incomingPath.clear();
        // The tiles of the picture shown before go.
        m_incomingFeed->setPicture(QString(), Picture());
        m_overview = m_feed->overview();
        Open->setFeed(m_feed);
        Image1->setImage(m_overview);
    } else {
        m_overview = QImage();
        Open->setImage(picture.image);
        Image1->setImage(picture.image);
        if (m_feed)
            m_feed->setPicture(QString(), Picture());
    }
    showPictureArea();
    prefetchNeighbour();
    runPutOffCommand();
}

void Lumenta::refusePictureTooLarge(const QString& what) {
    m_ctx.dlg().message(what, tr("Avertissement"), MsgIcon::Information, MsgButtons::Ok, this);
}

} // namespace lumenta
