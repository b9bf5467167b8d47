// The viewing area: the chosen picture at its own size in a fixed
// viewport, fitted, restored or resized.
#include "browser/frmpicviewer.h"
#include "browser/thumbnailsurface.h"
#include "picture/pictureservice.h"
#include "system/launcher.h"
#include "widgets/devicepixels.h"
#include "widgets/picturewidgets.h"

#include <QComboBox>
#include <QLabel>
#include <QScrollBar>
#include <QToolButton>

namespace lumenta {

void FrmPicViewer::ClearPicView() {
    if (FrameShown())
        EraseCellFrame();
    ++m_viewGeneration;
    m_ctx.pictures().cancel(m_viewTicket);
    m_viewLoading = false;
    updateBusyCursor();
    resetView();
}

void FrmPicViewer::resetView() {
    dropTiled();
    m_shownImage = QImage();
    picCopy->setImage(QImage());
    picViewX->setImage(QImage());
    HsbView->setValue(0);
    VsbView->setValue(0);
    HsbView->setRange(0, 0);
    VsbView->setRange(0, 0);
    picViewX->setGeometry(QRect(QPoint(0, 0), picViewZ->size()));
    lblPicSizeW->clear();
    lblPicSizeH->clear();
    for (QWidget* hidden :
         {piccmdEditContainer, static_cast<QWidget*>(cboResize), piccmdOrigSizeContainer,
          piccmdFitInContainer, piccmdFitInLargeContainer})
        hidden->hide();
    if (!InternalChange) {
        cboResize->setCurrentIndex(view::kOwnSizeEntry);
        ResizeIndex = view::kOwnSizeEntry;
    }
    ShownPicPath.clear();
    PicWidth = PicHeight = 0;
}

void FrmPicViewer::showPicture(const QString& path) {
    HsbView->setValue(0);
    VsbView->setValue(0);
    cboResize->setCurrentIndex(view::kOwnSizeEntry);
    ResizeIndex = view::kOwnSizeEntry;
    const quint64 generation = ++m_viewGeneration;
    m_viewLoading = true;
    updateBusyCursor();
    // A newer choice supersedes this one (same owner, same slot).
    m_viewTicket = m_ctx.pictures().request(this, PictureRequest::full(path),
                                            [this, generation, path](const PictureResult& r) {
                                                pictureLoaded(generation, path, r.picture);
                                            });
}

void FrmPicViewer::pictureLoaded(quint64 generation, const QString& path, const Picture& picture) {
    if (generation != m_viewGeneration)
        return;
    m_viewLoading = false;
    updateBusyCursor();
    const QImage& image = picture.image;
    if (picture.isNull()) {
        // Nothing of the previous picture stays for a command to act on.
        resetView();
        m_ctx.dlg().message(tr("Pas de fichier image/Image non valide"), tr("Information"),
                            MsgIcon::Information, MsgButtons::Ok, this);
        return;
    }
    ShownPicPath = path;
    dropTiled();
    m_shownImage = image;
    m_shownColours = picture.colours;
    picCopy->setImage(image);
    const QSize own = picture.isTiled() ? picture.naturalSize : image.size();
    PicWidth = own.width();
    PicHeight = own.height();
    lblPicSizeW->setText(QStringLiteral("L=") + QString::number(PicWidth));
    lblPicSizeH->setText(QStringLiteral("H=") + QString::number(PicHeight));
    if (picture.isTiled())
        showTiled(path, picture);
    else
        setShownPicture(image);
    for (QWidget* shown :
         {piccmdEditContainer, static_cast<QWidget*>(cboResize), piccmdOrigSizeContainer})
        shown->show();
    const QSize port = deviceSize(picViewZ->size(), deviceRatio(picViewZ));
    const bool exceeds = PicWidth > port.width() || PicHeight > port.height();
    piccmdFitInContainer->setVisible(exceeds);
    piccmdFitInLargeContainer->setVisible(exceeds);
}

void FrmPicViewer::setShownPicture(const QImage& picture) {
    HsbView->setValue(0);
    VsbView->setValue(0);
    // The picture takes one device pixel per pixel; the box and the scroll
    // bars count in logical pixels.
    picViewX->setImage(picture);
    const QSize shown = logicalSize(picture.size(), deviceRatio(picViewZ));
    picViewX->setGeometry(0, 0, shown.width(), shown.height());
    // The scroll bars reach the far side of the picture, never beyond.
    HsbView->setRange(0, view::scrollRange(shown.width(), picViewZ->width()));
    VsbView->setRange(0, view::scrollRange(shown.height(), picViewZ->height()));
    HsbView->setPageStep(picViewZ->width());
    VsbView->setPageStep(picViewZ->height());
}

void FrmPicViewer::cmdFitIn_Click() {
    if (m_shownImage.isNull() && !shownTiled())
        return;
    // Fitted in the viewport's device pixels, so a fitted picture is as sharp
    // as the screen allows.
    const view::Fit fit = view::fitInto(shownTiled() ? ownSize() : m_shownImage.size(),
                                        deviceSize(picViewZ->size(), deviceRatio(picViewZ)));
    switch (fit.kind) {
    case view::Fit::AlreadyFits:
        if (shownTiled())
            setShownTiled(1.0);
        else
            setShownPicture(m_shownImage);
        break;
    case view::Fit::Refused:
        m_ctx.dlg().message(view::fitRefusedText(), tr("Information"), MsgIcon::Information,
                            MsgButtons::Ok, this);
        return;
    case view::Fit::Shrunk:
        if (shownTiled()) {
            showTiledAt(fit.size, ResizeIndex);
            break;
        }
        setCursor(Qt::BusyCursor);
        setShownPicture(
            m_shownImage.scaled(fit.size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        updateBusyCursor();
        break;
    }
    picViewX->setFocus();
}

void FrmPicViewer::cmdOrigSize_Click() {
    if (m_shownImage.isNull() && !shownTiled())
        return;
    if (shownTiled())
        setShownTiled(1.0);
    else
        setShownPicture(m_shownImage);
    picViewX->setFocus();
    cboResize->setCurrentIndex(view::kOwnSizeEntry);
    ResizeIndex = view::kOwnSizeEntry;
}

void FrmPicViewer::cboResize_Click(int index) {
    if (InternalChange || PicWidth == 0 || PicHeight == 0)
        return;
    const QSize current = picViewX->isTiled() ? picViewX->size() : picViewX->image().size();
    HsbView->setValue(0);
    VsbView->setValue(0);
    const int percent = cboResize->itemText(index).toInt();
    const view::Resize r =
        view::resizeBy(percent, ownSize(), current, QSize(int(ScreenWidthPx), int(ScreenHeightPx)));
    switch (r.kind) {
    case view::Resize::Nothing:
        return;
    case view::Resize::Restore:
        if (shownTiled())
            setShownTiled(1.0);
        else if (current != m_shownImage.size())
            setShownPicture(m_shownImage);
        ResizeIndex = index;
        break;
    case view::Resize::Refused:
        m_ctx.dlg().message(r.message, tr("Information"), MsgIcon::Information, MsgButtons::Ok,
                            this);
        InternalChange = true;
        cboResize->setCurrentIndex(ResizeIndex);
        InternalChange = false;
        break;
    case view::Resize::Apply:
        if (shownTiled()) {
            showTiledAt(r.size, index);
            break;
        }
        // Always resampled from the own size, so repeated resizes keep
        // their sharpness.
        setCursor(Qt::BusyCursor);
        setShownPicture(
            m_shownImage.scaled(r.size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        updateBusyCursor();
        ResizeIndex = index;
        break;
    }
    picViewX->setFocus();
}

void FrmPicViewer::cmdEdit_Click() {
    // The desktop's application for the picture's type; it reports its
    // own failures.
    if (!ShownPicPath.isEmpty())
        openWithAssociation(ShownPicPath);
}

} // namespace lumenta
