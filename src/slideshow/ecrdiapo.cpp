#include "slideshow/ecrdiapo.h"

#include "app/displayplatform.h"
#include "fullscreen/fittedpicture.h"
#include "fullscreen/screencover.h"
#include "slideshow/selection.h"
#include "slideshow/slidemusic.h"
#include "slideshow/slidepictures.h"
#include "slideshow/slideshowrules.h"
#include "widgets/devicepixels.h"
#include "widgets/mmcontrol.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>

namespace lumenta {

EcrDiapo::EcrDiapo(AppContext& ctx, const SlideshowHost& host, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint), m_ctx(ctx), m_host(host),
      m_sequencer(new SlideSequencer(this)), m_pictures(new SlidePictures(ctx, this)) {
    setObjectName(QStringLiteral("EcrDiapo"));
    setWindowTitle(tr("Diaporama")); // no title bar: for the task list and screen readers
    setModal(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    createControls();
    m_music = new SlideMusic(MMControl1, this);
    m_ctx.state.SlidePauseState = 1;
    m_back = backColorForCode(m_ctx.state.settings.SlideBackColor, QApplication::palette());

    connect(m_sequencer, &SlideSequencer::showPath, this,
            [this](const QString& p) { AffichManu(p); });
    connect(m_sequencer, &SlideSequencer::finished, this, &EcrDiapo::showFinished);
    coverScreen(this, parent);
}

EcrDiapo::~EcrDiapo() = default;

void EcrDiapo::createControls() {
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setAutoFillBackground(true);
    Label1->hide();

    Frame1 = new QGroupBox(tr("Diaporama manuel"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setAutoFillBackground(true);
    auto button = [this](const char* name, const char* theme, QStyle::StandardPixmap fallback,
                         const QString& tip) {
        auto* b = new QToolButton(Frame1);
        b->setObjectName(QLatin1String(name));
        b->setIcon(QIcon::fromTheme(QLatin1String(theme), style()->standardIcon(fallback)));
        b->setToolTip(tip);
        b->setAccessibleName(tip);
        b->setIconSize(QSize(24, 24));
        // Space and Escape must reach the window.
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };
    Command1 = button("Command1", "go-first", QStyle::SP_MediaSkipBackward, tr("Première image"));
    Command2 =
        button("Command2", "go-previous", QStyle::SP_MediaSeekBackward, tr("Image précédente"));
    Command3 = button("Command3", "go-next", QStyle::SP_MediaSeekForward, tr("Image suivante"));
    Command4 = button("Command4", "go-last", QStyle::SP_MediaSkipForward, tr("Dernière image"));
    Command5 = button("Command5", "application-exit", QStyle::SP_DialogCloseButton,
                      tr("Quitter le diaporama manuel"));
    HScroll1 = new QScrollBar(Qt::Horizontal, Frame1);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    HScroll1->setMinimum(0);
    HScroll1->setPageStep(1);
    HScroll1->setFocusPolicy(Qt::NoFocus);
    HScroll1->setToolTip(tr("Position dans la liste des images"));
    auto* row = new QHBoxLayout;
    for (QToolButton* b : {Command1, Command2, Command3, Command4, Command5})
        row->addWidget(b);
    auto* panel = new QVBoxLayout(Frame1);
    panel->addLayout(row);
    panel->addWidget(HScroll1);
    Frame1->adjustSize();
    Frame1->hide();

    MMControl1 = new MMControl(this);
    MMControl1->setObjectName(QStringLiteral("MMControl1"));
    MMControl1->hide();

    connect(Command1, &QToolButton::clicked, this, [this] { goTo(0); });
    connect(Command2, &QToolButton::clicked, this, [this] { goTo(m_showIndex - 1); });
    connect(Command3, &QToolButton::clicked, this, [this] { goTo(m_showIndex + 1); });
    connect(Command4, &QToolButton::clicked, this, [this] { goTo(m_host.fileCount() - 1); });
    connect(Command5, &QToolButton::clicked, this, [this] { stopShow(); });
    connect(HScroll1, &QScrollBar::valueChanged, this, [this](int v) { goTo(v); });
}

QRect EcrDiapo::pictureRect() const {
    if (m_frame.isNull())
        return QRect();
    const qreal dpr = devicePixelRatioF();
    const QRect r = m_frame.rect();
    return QRectF(QPointF(r.topLeft()) / dpr, QSizeF(r.size()) / dpr).toRect();
}

QSize EcrDiapo::screenPixels() const {
    return deviceSize(size(), deviceRatio(this));
}

bool EcrDiapo::event(QEvent* e) {
    // The show starts at the first activation only: a message box or a
    // switch to another program does not start it again.
    // Where being shown does not bring the activation, showing counts as it.
    if (e->type() == QEvent::Show && !m_started && !shownWindowsGetActivated()) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (isVisible() && !m_started) {
                    m_started = true;
                    begin();
                }
            },
            Qt::QueuedConnection);
    }
    if (e->type() == QEvent::WindowActivate && !m_started) {
        m_started = true;
        begin();
    }
    return QDialog::event(e);
}

void EcrDiapo::begin() {
    Settings& s = m_ctx.state.settings;
    HScroll1->setMaximum(std::max(m_host.fileCount() - 1, 0));
    if (s.SlideMusicOn == 1 && !s.SlideMusicFile.isEmpty())
        m_music->play(s.SlideMusicFile);
    Label1->clear();
    if (normalizedBackColor(s.SlideBackColor) != s.SlideBackColor)
        s.SlideBackColor = 1;
    m_back = backColorForCode(s.SlideBackColor, QApplication::palette());
    update();
    m_pictures->setTarget(screenPixels(), s.SlideSizeMode);
    if (s.SlideShowType == 1)
        startManual();
    else
        startAutomatic();
}

void EcrDiapo::startAutomatic() {
    const AppState& st = m_ctx.state;
    const Settings& s = st.settings;
    Frame1->hide();
    const QStringList entries = s.SlideSource == 1 ? selectionEntries(st) : m_host.fullPaths();
    m_sequencer->setEntries(showOrder(s.SlideOrder, entries));
    m_sequencer->setLoop(s.SlideLoop != 0);
    m_sequencer->setPauseMs(std::max<int>(s.SlidePauseSeconds, 0) * 1000);
    m_ctx.state.SlideStopRequested = 0;
    // A list made on another system may name no file that exists here: then
    // the show says so at once instead of pausing on every entry. The file
    // system is asked off this thread (a list may be long, a volume slow).
    auto* check = new QFutureWatcher<bool>(this);
    connect(check, &QFutureWatcher<bool>::finished, this, [this, check] {
        const bool any = check->result();
        check->deleteLater();
        if (m_ending)
            return;
        if (any)
            m_sequencer->start();
        else
            noPictures();
    });
    check->setFuture(QtConcurrent::run([entries] { return anyEntryExists(entries); }));
}

void EcrDiapo::startManual() {
    Frame1->show();
    Frame1->raise();
    placeControls();
    m_showIndex = 0;
    const ManualPosition pos = manualPosition(0, m_host.fileCount());
    Command2->setEnabled(pos.previousEnabled);
    Command3->setEnabled(pos.nextEnabled);
    if (m_host.fileCount() == 0) {
        noPictures();
        return;
    }
    m_ctx.state.FullScreenFilePath = m_host.fullPath(0);
    AffichManu(m_ctx.state.FullScreenFilePath, true);
}

void EcrDiapo::goTo(int index) {
    if (!m_started || m_ending || m_host.fileCount() == 0)
        return;
    const ManualPosition pos = manualPosition(index, m_host.fileCount());
    m_showIndex = pos.index;
    Command2->setEnabled(pos.previousEnabled);
    Command3->setEnabled(pos.nextEnabled);
    {
        const QSignalBlocker block(HScroll1);
        HScroll1->setValue(pos.index);
    }
    m_ctx.state.FullScreenFilePath = m_host.fullPath(pos.index);
    AffichManu(m_ctx.state.FullScreenFilePath);
}

void EcrDiapo::AffichManu(const QString& path, bool firstOfManual) {
    // The picture on the screen stays until the new one is ready.
    m_wantedPath = path;
    const bool automatic = m_ctx.state.settings.SlideShowType != 1;
    m_pictures->request(path, [this, path, automatic, firstOfManual](bool ok, const SlideFrame& f) {
        if (m_ending)
            return;
        if (firstOfManual && !ok) {
            noPictures();
            return;
        }
        display(path, ok, f);
        if (automatic) {
            m_sequencer->pictureShown(ok);
            m_pictures->prepareAhead(m_sequencer->upcoming());
        } else if (m_showIndex + 1 < m_host.fileCount()) {
            m_pictures->prepareAhead(m_host.fullPath(m_showIndex + 1));
        }
    });
}

void EcrDiapo::display(const QString& path, bool ok, const SlideFrame& frame) {
    const Settings& s = m_ctx.state.settings;
    m_frame = ok ? frame : SlideFrame();
    m_shownPath = path;
    if (s.SlideShowFileName == 1) {
        const QFileInfo info(path);
        Label1->setText(info.isFile() ? slideCaption(path, info.size()) : QString());
    }
    Label1->setVisible(s.SlideShowFileName == 1 && s.SlideSizeMode != 1);
    placeCaption();
    update();
    Q_EMIT pictureDisplayed(path, ok);
}

void EcrDiapo::placeCaption() {
    Label1->adjustSize();
    Label1->move(width() / 2 - Label1->width() / 2, height() - Label1->height());
}

void EcrDiapo::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), m_back);
    if (!m_frame.isNull()) {
        DevicePixelPainter device(p);
        device.drawImage(m_frame.topLeft, m_frame.image);
    }
}

void EcrDiapo::placeControls() {
    Frame1->adjustSize();
    Frame1->move(width() - Frame1->width(), 0);
    placeCaption();
}

void EcrDiapo::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    placeControls();
    if (!m_started || m_ending)
        return;
    // A new screen size: the picture on the screen is prepared again for it.
    m_pictures->setTarget(screenPixels(), m_ctx.state.settings.SlideSizeMode);
    if (!m_pictures->isWaiting() && !m_shownPath.isEmpty() && !m_frame.isNull()) {
        const QString path = m_shownPath;
        m_pictures->request(path, [this, path](bool ok, const SlideFrame& f) {
            if (!m_ending && ok && path == m_shownPath) {
                m_frame = f;
                update();
            }
        });
    }
}

void EcrDiapo::keyPressEvent(QKeyEvent* e) {
    e->accept();
    switch (e->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        stopShow();
        break;
    case Qt::Key_Space:
        if (!e->isAutoRepeat())
            togglePause();
        break;
    default:
        break;
    }
}

void EcrDiapo::mousePressEvent(QMouseEvent* e) {
    e->accept();
    togglePause();
}

void EcrDiapo::mouseDoubleClickEvent(QMouseEvent* e) {
    e->accept();
    stopShow();
}

void EcrDiapo::closeEvent(QCloseEvent* e) {
    e->accept();
    if (!m_ending)
        stopShow();
    else
        QDialog::closeEvent(e);
}

void EcrDiapo::reject() {
    stopShow();
}

void EcrDiapo::togglePause() {
    int16_t& state = m_ctx.state.SlidePauseState;
    state = state < 0 ? int16_t(1) : int16_t(-1);
    m_sequencer->setPaused(state < 0);
}

void EcrDiapo::stopShow() {
    if (m_ending)
        return;
    m_ending = true;
    m_ctx.state.SlideStopRequested = 1;
    m_sequencer->stop();
    m_host.closeMedia();
    m_music->stop();
    QDialog::done(QDialog::Rejected);
}

void EcrDiapo::noPictures() {
    if (m_ending)
        return;
    m_ending = true;
    m_sequencer->stop();
    m_frame = SlideFrame();
    update();
    m_ctx.dlg().message(tr("Pas d'images pour le diaporama !"), tr("Avertissement"),
                        MsgIcon::Exclamation, MsgButtons::Ok, this);
    m_music->stop();
    QDialog::done(QDialog::Rejected);
}

void EcrDiapo::showFinished(SlideSequencer::Outcome outcome) {
    if (m_ending)
        return;
    if (outcome == SlideSequencer::Outcome::NoPictures) {
        noPictures();
        return;
    }
    m_ending = true;
    m_host.closeMedia();
    m_music->stop();
    QDialog::done(QDialog::Accepted);
}

} // namespace lumenta
