// The view buttons under the viewing area, and the enlarged view with its
// magnifying glass.
#include "browser/frmpicviewer.h"
#include "browser/largepictureview.h"
#include "widgets/devicepixels.h"
#include "widgets/picturewidgets.h"

#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <QToolButton>
#include <algorithm>
#include <cmath>

namespace lumenta {

namespace {

constexpr int kBarHeight = 36;
constexpr int kScrollSide = 16;
constexpr int kButtonSide = 30;

QToolButton* viewButton(QWidget* parent, const char* name, const char* themeIcon,
                        QStyle::StandardPixmap fallback, const QString& hint) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setIcon(QIcon::fromTheme(QLatin1String(themeIcon), parent->style()->standardIcon(fallback)));
    b->setIconSize(QSize(20, 20));
    b->setToolTip(hint);
    b->setGeometry(0, 0, kButtonSide, kButtonSide);
    return b;
}

// A container of one button, as the design has them.
QWidget* container(QWidget* parent, const char* name, const QString& hint, int x, int y) {
    auto* c = new QWidget(parent);
    c->setObjectName(QLatin1String(name));
    c->setToolTip(hint);
    c->setGeometry(x, y, kButtonSide, kButtonSide);
    return c;
}

} // namespace

void FrmPicViewer::createViewButtons() {
    // One row under the viewport, right of the full screen button.
    const QRect z = picViewZ->geometry();
    const int y = z.bottom() + 1 + kScrollSide + 8;
    int x = z.left() + kButtonSide + 6;
    const auto next = [&x](int width) {
        const int at = x;
        x += width + 4;
        return at;
    };
    piccmdFitInContainer = container(this, "piccmdFitInContainer", tr("Fit in"), next(30), y);
    cmdFitIn = viewButton(piccmdFitInContainer, "cmdFitIn", "zoom-fit-best",
                          QStyle::SP_TitleBarNormalButton, tr("Ajuster l'image"));
    piccmdFitInLargeContainer =
        container(this, "piccmdFitInLargeContainer", tr("Fit in"), next(30), y);
    cmdViewLarge = viewButton(piccmdFitInLargeContainer, "cmdViewLarge", "window-maximize",
                              QStyle::SP_DesktopIcon, tr("Vue élargie"));
    piccmdOrigSizeContainer = container(this, "piccmdOrigSizeContainer", QString(), next(30), y);
    cmdOrigSize = viewButton(piccmdOrigSizeContainer, "cmdOrigSize", "zoom-original",
                             QStyle::SP_BrowserReload, tr("Taille d'origine"));
    piccmdEditContainer = container(this, "piccmdEditContainer", QString(), next(30), y);
    cmdEdit = viewButton(piccmdEditContainer, "cmdEdit", "document-edit",
                         QStyle::SP_FileDialogDetailedView,
                         tr("Editer l'image avec le logiciel de traitement d'images associé"));
    cboResize = new QComboBox(this);
    cboResize->setObjectName(QStringLiteral("cboResize"));
    cboResize->setToolTip(tr("Pourcentage d'affichage +/- "));
    cboResize->setGeometry(next(76), y + 2, 76, 26);
    cboResize->addItems(view::resizeEntries());
    cboResize->setCurrentIndex(view::kOwnSizeEntry);
    lblPicSizeW = new QLabel(this);
    lblPicSizeW->setObjectName(QStringLiteral("lblPicSizeW"));
    lblPicSizeW->setGeometry(next(70), y + 4, 70, 22);
    lblPicSizeH = new QLabel(this);
    lblPicSizeH->setObjectName(QStringLiteral("lblPicSizeH"));
    lblPicSizeH->setGeometry(next(70), y + 4, 70, 22);
}

void FrmPicViewer::createLargeView() {
    m_largeView = new QWidget(this);
    m_largeView->setObjectName(QStringLiteral("largeView"));
    m_largeView->setAutoFillBackground(true);
    picViewLargeBar = new QWidget(m_largeView);
    picViewLargeBar->setObjectName(QStringLiteral("picViewLargeBar"));
    cmdViewLargeExit = viewButton(picViewLargeBar, "cmdViewLargeExit", "go-previous",
                                  QStyle::SP_ArrowBack, tr("Retour à l'écran principal"));
    cmdViewLargeExit->move(4, 3);
    cmdMagnifyGlass = viewButton(picViewLargeBar, "cmdMagnifyGlass", "zoom-in",
                                 QStyle::SP_FileDialogContentsView, tr("Loupe On/Off"));
    cmdMagnifyGlass->setCheckable(true);
    cmdMagnifyGlass->move(40, 3);
    cboMagnify = new QComboBox(picViewLargeBar);
    cboMagnify->setObjectName(QStringLiteral("cboMagnify"));
    cboMagnify->setToolTip(tr("Echelle d'affichage pour la loupe"));
    cboMagnify->setGeometry(76, 5, 80, 26);
    cboMagnify->addItems(view::magnifyEntries(locale()));
    cboMagnify->setCurrentIndex(view::kDefaultMagnifyEntry);

    picViewLargeContainer = new QWidget(m_largeView);
    picViewLargeContainer->setObjectName(QStringLiteral("picViewLargeContainer"));
    picViewLargeContainer->setAutoFillBackground(true);
    picViewLargeContainer->setBackgroundRole(QPalette::Dark);
    picViewLarge = new LargePictureView(picViewLargeContainer);
    picViewLarge->setObjectName(QStringLiteral("picViewLarge"));
    VsbViewLarge = new QScrollBar(Qt::Vertical, m_largeView);
    VsbViewLarge->setObjectName(QStringLiteral("VsbViewLarge"));
    HsbViewLarge = new QScrollBar(Qt::Horizontal, m_largeView);
    HsbViewLarge->setObjectName(QStringLiteral("HsbViewLarge"));
    m_largeView->hide();
}

void FrmPicViewer::wireView() {
    connect(cmdFitIn, &QToolButton::clicked, this, [this] { cmdFitIn_Click(); });
    connect(cmdOrigSize, &QToolButton::clicked, this, [this] { cmdOrigSize_Click(); });
    connect(cmdViewLarge, &QToolButton::clicked, this, [this] { cmdViewLarge_Click(); });
    connect(cmdEdit, &QToolButton::clicked, this, [this] { cmdEdit_Click(); });
    // Choosing the entry already shown acts again.
    connect(cboResize, &QComboBox::activated, this, [this](int i) { cboResize_Click(i); });
    connect(cmdViewLargeExit, &QToolButton::clicked, this, [this] { cmdViewLargeExit_Click(); });
    connect(cmdMagnifyGlass, &QToolButton::clicked, this, [this] { cmdMagnifyGlass_Click(); });
    connect(picViewLarge, &LargePictureView::pressed, this,
            [this](QPointF at, Qt::MouseButton b) { picViewLarge_MouseDown(at, b); });
    connect(picViewLarge, &LargePictureView::moved, this,
            [this](QPointF at) { picViewLarge_MouseMove(at); });
    connect(picViewLarge, &LargePictureView::released, this, [this] { picViewLarge_MouseUp(); });
    connect(HsbViewLarge, &QScrollBar::valueChanged, this,
            [this](int v) { picViewLarge->move(-v, picViewLarge->y()); });
    connect(VsbViewLarge, &QScrollBar::valueChanged, this,
            [this](int v) { picViewLarge->move(picViewLarge->x(), -v); });
}

bool FrmPicViewer::largeViewShown() const {
    return !m_largeView->isHidden();
}

void FrmPicViewer::cmdViewLarge_Click() {
    if ((m_shownImage.isNull() && !shownTiled()) || largeViewShown())
        return;
    for (QScrollBar* s : {HsbView, VsbView, HsbViewLarge, VsbViewLarge})
        s->setValue(0);
    m_wasMaximized = isMaximized();
    m_normalGeometry = geometry();
    // The picture as shown, fitted or resized.
    if (picViewX->isTiled())
        picViewLarge->setFeed(picViewX->feed(), picViewX->scale());
    else
        picViewLarge->setPicture(picViewX->image());
    picViewLarge->move(0, 0);
    picViewZ->hide();
    m_largeView->show();
    m_largeView->raise();
    layoutLargeView();
    showMaximized();
    cmdViewLargeExit->setFocus();
}

void FrmPicViewer::cmdViewLargeExit_Click() {
    if (!largeViewShown())
        return;
    MagnifierOn = false;
    Dragging = false;
    m_glass = QImage();
    picViewLarge->setGlass(QImage(), GlassBox);
    picViewLarge->setPicture(QImage());
    picViewLarge->unsetCursor();
    cmdMagnifyGlass->setChecked(false);
    cboMagnify->setEnabled(true);
    m_largeView->hide();
    picViewZ->show();
    if (!m_wasMaximized) {
        showNormal();
        setGeometry(m_normalGeometry);
    }
    picViewX->setFocus();
}

void FrmPicViewer::layoutLargeView() {
    const int w = width(), h = height();
    m_largeView->setGeometry(rect());
    picViewLargeBar->setGeometry(0, 0, w, kBarHeight);
    const QRect port(0, kBarHeight, std::max(0, w - kScrollSide),
                     std::max(0, h - kBarHeight - kScrollSide));
    picViewLargeContainer->setGeometry(port);
    VsbViewLarge->setGeometry(port.right() + 1, kBarHeight, kScrollSide, port.height());
    HsbViewLarge->setGeometry(0, port.bottom() + 1, port.width(), kScrollSide);
    // The widget covers the viewport too, so a glass passing the picture's
    // edges is drawn whole.
    const QSize picture = logicalSize(picViewLarge->shownPixels(), deviceRatio(picViewLarge));
    picViewLarge->resize(picture.expandedTo(port.size()));
    HsbViewLarge->setRange(0, view::scrollRange(picture.width(), port.width()));
    VsbViewLarge->setRange(0, view::scrollRange(picture.height(), port.height()));
    HsbViewLarge->setPageStep(std::max(1, port.width()));
    VsbViewLarge->setPageStep(std::max(1, port.height()));
}

void FrmPicViewer::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    if (largeViewShown())
        layoutLargeView();
}

double FrmPicViewer::magnifyFactor() const {
    // Read back in the locale the entries were written in.
    return view::magnifyFactor(cboMagnify->currentText(), locale());
}

void FrmPicViewer::cmdMagnifyGlass_Click() {
    if (!MagnifierOn) {
        MagnifierOn = true;
        cboMagnify->setEnabled(false);
        GlassBox = view::GlassBox{};
        FillGlass();
        PlaceGlass();
    } else {
        MagnifierOn = false;
        Dragging = false;
        m_glass = QImage();
        picViewLarge->setGlass(QImage(), GlassBox);
        picViewLarge->unsetCursor();
        cboMagnify->setEnabled(true);
    }
    cmdMagnifyGlass->setChecked(MagnifierOn);
}

void FrmPicViewer::FillGlass() {
    // Made at the screen's device pixels: the glass is as sharp there as
    // the picture under it.
    const qreal ratio = deviceRatio(picViewLarge);
    const int side = int(std::lround(view::kGlassSide * ratio));
    m_glass = QImage(side, side, QImage::Format_ARGB32_Premultiplied);
    m_glass.setDevicePixelRatio(ratio);
    m_glass.fill(Qt::transparent);
    // The glass magnifies the shown picture, read from its own-size copy.
    const view::GlassBlit blit =
        view::glassBlit(GlassBox, magnifyFactor(), picViewLarge->shownSize(),
                        shownTiled() ? ownSize() : m_shownImage.size());
    if (blit.source.isEmpty())
        return;
    QPainter p(&m_glass);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (shownTiled()) {
        const QRect part = blit.source.toAlignedRect() & QRect(QPoint(), ownSize());
        p.drawImage(blit.target, glassSource(part), blit.source.translated(-part.topLeft()));
        return;
    }
    p.drawImage(blit.target, m_shownImage, blit.source);
}

void FrmPicViewer::PlaceGlass() {
    picViewLarge->setGlass(m_glass, GlassBox);
}

void FrmPicViewer::UpdateGlassPointer(double x, double y) {
    picViewLarge->setCursor(view::glassCursor(MagnifierOn, GlassBox, x, y));
}

void FrmPicViewer::picViewLarge_MouseDown(QPointF at, Qt::MouseButton button) {
    if (button != Qt::LeftButton || !MagnifierOn || !GlassBox.contains(at.x(), at.y()))
        return;
    DragLastX = at.x();
    DragLastY = at.y();
    DragDeltaX = DragDeltaY = 0;
    Dragging = true;
}

void FrmPicViewer::picViewLarge_MouseMove(QPointF at) {
    UpdateGlassPointer(at.x(), at.y());
    if (!MagnifierOn || !Dragging)
        return;
    DragDeltaX = at.x() - DragLastX;
    DragDeltaY = at.y() - DragLastY;
    DragLastX = at.x();
    DragLastY = at.y();
    GlassBox = view::moveGlass(GlassBox, DragDeltaX, DragDeltaY, picViewLarge->shownSize(),
                               magnifyFactor());
    FillGlass();
    PlaceGlass();
}

void FrmPicViewer::picViewLarge_MouseUp() {
    Dragging = false;
}

} // namespace lumenta
