#include "slideshow/slidepictures.h"

#include "picture/pictureloader.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace lumenta {

SlidePictures::SlidePictures(AppContext& ctx, QObject* parent) : QObject(parent), m_ctx(ctx) {}

SlidePictures::~SlidePictures() = default;

void SlidePictures::setTarget(QSize screen, int rule) {
    if (screen == m_screen && rule == m_rule)
        return;
    m_screen = screen;
    m_rule = rule;
    // Frames made for another size are of no use any more; a picture still
    // awaited is read again for the new one.
    m_ahead = Slot();
    if (m_want.handler) {
        m_want.done = false;
        m_want.frame = SlideFrame();
        m_want.serial = startLoad(m_want.path);
    }
}

void SlidePictures::request(const QString& path, Handler onReady) {
    if (!m_ahead.path.isEmpty() && m_ahead.path == path) {
        m_want = std::move(m_ahead);
        m_ahead = Slot();
    } else if (m_want.path != path || m_want.done) {
        // (A picture already handed over is not kept: it is read again.)
        m_want = Slot();
        m_want.path = path;
        m_want.serial = startLoad(path);
    }
    m_want.handler = std::move(onReady);
    if (m_want.done)
        deliver();
}

void SlidePictures::prepareAhead(const QString& path) {
    if (path == m_ahead.path)
        return;
    m_ahead = Slot();
    if (path.isEmpty() || path == m_want.path)
        return;
    m_ahead.path = path;
    m_ahead.serial = startLoad(path);
}

quint64 SlidePictures::startLoad(const QString& path) {
    const quint64 serial = ++m_serial;
    struct Made {
        bool ok = false;
        SlideFrame frame;
    };
    auto* watcher = new QFutureWatcher<Made>(this);
    connect(watcher, &QFutureWatcher<Made>::finished, this, [this, watcher, serial] {
        const Made m = watcher->result();
        watcher->deleteLater();
        loaded(serial, m.ok, m.frame);
    });
    const QSize screen = m_screen;
    const int rule = m_rule;
    watcher->setFuture(QtConcurrent::run([path, screen, rule] {
        Made m;
        const Picture p = loadPicture(path);
        m.ok = !p.isNull();
        if (m.ok)
            m.frame = prepareFrame(p.image, p.image.size(), QRect(), rule, screen);
        return m;
    }));
    return serial;
}

void SlidePictures::loaded(quint64 serial, bool ok, const SlideFrame& frame) {
    Slot* slot = serial == m_want.serial ? &m_want : serial == m_ahead.serial ? &m_ahead : nullptr;
    if (!slot)
        return; // replaced meanwhile
    slot->done = true;
    slot->ok = ok;
    slot->frame = frame;
    if (slot == &m_want && m_want.handler)
        deliver();
}

void SlidePictures::deliver() {
    // The frame stays with the caller only.
    Slot done = std::move(m_want);
    m_want = Slot();
    done.handler(done.ok, done.frame);
}

} // namespace lumenta
