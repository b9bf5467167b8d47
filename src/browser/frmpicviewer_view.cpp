// The viewing area: the chosen picture at its own size in a fixed
// viewport.
#include "browser/frmpicviewer.h"
#include "browser/thumbnailsurface.h"
#include "picture/pictureservice.h"
#include "widgets/picturewidgets.h"

#include <QScrollBar>

namespace lumenta {

void FrmPicViewer::ClearPicView() {
    if (FrameShown())
        EraseCellFrame();
    ++m_viewGeneration;
    m_ctx.pictures().cancel(m_viewTicket);
    m_viewLoading = false;
    updateBusyCursor();
    m_shownImage = QImage();
    picViewX->setImage(QImage());
    HsbView->setValue(0);
    VsbView->setValue(0);
    HsbView->setRange(0, 0);
    VsbView->setRange(0, 0);
    picViewX->setGeometry(QRect(QPoint(0, 0), picViewZ->size()));
    if (!InternalChange)
        ResizeIndex = 3;
    ShownPicPath.clear();
    PicWidth = PicHeight = 0;
}

void FrmPicViewer::showPicture(const QString& path) {
    HsbView->setValue(0);
    VsbView->setValue(0);
    ResizeIndex = 3;
    const quint64 generation = ++m_viewGeneration;
    m_viewLoading = true;
    updateBusyCursor();
    // A newer choice supersedes this one (same owner, same slot).
    m_viewTicket = m_ctx.pictures().request(this, PictureRequest::full(path),
                                            [this, generation, path](const PictureResult& r) {
                                                pictureLoaded(generation, path, r.picture.image);
                                            });
}

void FrmPicViewer::pictureLoaded(quint64 generation, const QString& path, const QImage& image) {
    if (generation != m_viewGeneration)
        return;
    m_viewLoading = false;
    updateBusyCursor();
    if (image.isNull()) {
        m_ctx.dlg().message(tr("Pas de fichier image/Image non valide"), tr("Information"),
                            MsgIcon::Information, MsgButtons::Ok, this);
        return;
    }
    ShownPicPath = path;
    m_shownImage = image;
    PicWidth = image.width();
    PicHeight = image.height();
    picViewX->setImage(image);
    picViewX->setGeometry(0, 0, PicWidth, PicHeight);
    // The scroll bars reach the far side of the picture, never beyond.
    HsbView->setRange(0, std::max(0, PicWidth - picViewZ->width()));
    VsbView->setRange(0, std::max(0, PicHeight - picViewZ->height()));
    HsbView->setPageStep(picViewZ->width());
    VsbView->setPageStep(picViewZ->height());
}

} // namespace lumenta
