#include "fullscreen/frmplecr.h"

#include "app/displayplatform.h"
#include "fullscreen/screencover.h"
#include "picture/pictureloader.h"
#include "widgets/devicepixels.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace lumenta {

namespace {

// Keys that type a character close the window; cursor, function and
// modifier keys type nothing and leave it open. Delete types a control
// code on some systems but is an editing key, not a character.
bool typesCharacter(const QKeyEvent* e) {
    const QString text = e->text();
    if (text.isEmpty() || e->key() == Qt::Key_Delete)
        return false;
    return true;
}

} // namespace

FrmPlEcr::FileStamp FrmPlEcr::FileStamp::of(const QString& path) {
    FileStamp s;
    if (path.isEmpty())
        return s;
    const QFileInfo info(path);
    if (!info.isFile())
        return s;
    s.exists = true;
    s.size = info.size();
    s.modified = info.lastModified();
    return s;
}

FrmPlEcr::FrmPlEcr(AppContext& ctx, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint), m_ctx(ctx) {
    setObjectName(QStringLiteral("FrmPlEcr"));
    setWindowTitle(tr("Plein écran")); // no title bar: for the task list and screen readers
    setModal(true);
    setFocusPolicy(Qt::StrongFocus);
    // The whole surface is painted here; no system background in between.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_back = backColorForCode(m_ctx.state.settings.FullScreenBackColor, QApplication::palette());
    coverScreen(this, parent);
}

FrmPlEcr::~FrmPlEcr() = default;

void FrmPlEcr::setPreloaded(const QString& path, const QImage& image) {
    if (image.isNull())
        return;
    const FileStamp stamp = FileStamp::of(path);
    if (!stamp.exists)
        return;
    m_picture.setImage(image);
    m_loadedPath = path;
    m_loadedStamp = stamp;
}

int FrmPlEcr::showPicture(AppContext& ctx, QWidget* parent, const QImage& preloaded) {
    FrmPlEcr w(ctx, parent);
    if (!preloaded.isNull())
        w.setPreloaded(ctx.state.FullScreenFilePath, preloaded);
    return w.exec();
}

bool FrmPlEcr::isLoading() const {
    return m_loading && m_ctx.pictures().isPending(m_loading);
}

QRect FrmPlEcr::pictureRect() const {
    if (!m_shown)
        return QRect();
    const QRect r = m_picture.drawnRect();
    const qreal ratio = deviceRatio(this);
    return QRectF(QPointF(r.topLeft()) / ratio, QSizeF(r.size()) / ratio).toRect();
}

QSizeF FrmPlEcr::deviceArea() const {
    return QSizeF(deviceSize(size(), deviceRatio(this)));
}

bool FrmPlEcr::event(QEvent* e) {
    switch (e->type()) {
    case QEvent::WindowActivate:
        // Closing our own message box gives the activation back to this
        // window; that is no new activation.
        if (m_skipActivation)
            m_skipActivation = false;
        else
            activate();
        break;
    case QEvent::WindowDeactivate:
        if (m_inMessage)
            m_skipActivation = true;
        break;
    default:
        break;
    }
    return QDialog::event(e);
}

void FrmPlEcr::activate() {
    Settings& s = m_ctx.state.settings;
    // An unknown colour code is taken as black, in memory only.
    if (normalizedBackColor(s.FullScreenBackColor) != s.FullScreenBackColor)
        s.FullScreenBackColor = 1;
    m_back = backColorForCode(s.FullScreenBackColor, QApplication::palette());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, m_back);
    setPalette(pal);

    m_shown = false;
    update();

    const QString path = m_ctx.state.FullScreenFilePath;
    const FileStamp stamp = FileStamp::of(path);
    if (!stamp.exists) {
        reportUnsupported();
        return;
    }
    if (!m_picture.isNull() && path == m_loadedPath && stamp == m_loadedStamp) {
        showPictureNow();
        return;
    }
    if (isLoading() && path == m_loadingPath)
        return; // the same file is on its way
    startLoading(path, stamp);
}

void FrmPlEcr::startLoading(const QString& path, const FileStamp& stamp) {
    // The picture fitted to the screen: both size rules start from it (a
    // smaller picture comes at its natural size). A request for another
    // file still under way is superseded.
    m_loadingPath = path;
    const QSize box = deviceSize(screen() ? screen()->size() : size(), deviceRatio(this));
    m_loading = m_ctx.pictures().request(
        this, PictureRequest::fitted(path, box),
        [this, stamp](const PictureResult& r) { loadingFinished(r, stamp); });
}

void FrmPlEcr::loadingFinished(const PictureResult& result, const FileStamp& stamp) {
    m_loading = 0;
    m_loadingPath.clear();
    if (result.request.path != m_ctx.state.FullScreenFilePath)
        return;
    if (!result.ok()) {
        m_picture.clear();
        m_loadedPath.clear();
        reportUnsupported();
        return;
    }
    m_picture.setImage(result.picture.image);
    m_loadedPath = result.request.path;
    m_loadedStamp = stamp;
    showPictureNow();
}

void FrmPlEcr::showPictureNow() {
    const FitRule rule = fitRuleForMode(m_ctx.state.settings.FullScreenSizeMode);
    if (!m_picture.fit(rule, deviceArea())) {
        reportUnsupported();
        return;
    }
    m_picture.prepare();
    m_shown = true;
    update();
    Q_EMIT activationDone(true);
}

void FrmPlEcr::reportUnsupported() {
    m_shown = false;
    update();
    m_inMessage = true;
    m_ctx.dlg().message(tr("Format d'image non supporté !"), tr("Erreur"), MsgIcon::Stop,
                        MsgButtons::Ok, this);
    m_inMessage = false;
    Q_EMIT activationDone(false);
}

void FrmPlEcr::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), m_back);
    if (m_shown)
        m_picture.paint(p);
}

void FrmPlEcr::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    // The window may reach its full-screen size only after it was
    // activated: place the picture again in the new area.
    if (m_shown) {
        m_picture.fit(fitRuleForMode(m_ctx.state.settings.FullScreenSizeMode), deviceArea());
        m_picture.prepare();
        update();
    }
}

void FrmPlEcr::mousePressEvent(QMouseEvent* e) {
    e->accept();
    // The second click of the double click that opened the window does not
    // close it again.
    if (m_opened.isValid() && m_opened.elapsed() < QApplication::doubleClickInterval())
        return;
    m_pressed = true;
}

void FrmPlEcr::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    m_opened.start();
    // Where being shown does not bring the activation, showing counts as
    // the first one (the picture must not wait for a keyboard focus that
    // may never come).
    if (!shownWindowsGetActivated())
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (isVisible() && !isActiveWindow())
                    activate();
            },
            Qt::QueuedConnection);
}

void FrmPlEcr::mouseReleaseEvent(QMouseEvent* e) {
    e->accept();
    if (m_pressed) {
        m_pressed = false;
        accept();
    }
}

void FrmPlEcr::keyPressEvent(QKeyEvent* e) {
    e->accept();
    if (typesCharacter(e))
        accept();
}

} // namespace lumenta
