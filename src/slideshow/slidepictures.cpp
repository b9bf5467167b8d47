#include "slideshow/slidepictures.h"

#include "picture/pictureservice.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace lumenta {

SlidePictures::SlidePictures(AppContext& ctx, QObject* parent)
    : QObject(parent), m_ctx(ctx), m_savedBudget(ctx.pictures().memoryBudget()) {}

SlidePictures::~SlidePictures() {
    drop(m_want);
    drop(m_ahead);
    m_ctx.pictures().setMemoryBudget(m_savedBudget);
}

void SlidePictures::setTarget(QSize screen, int rule) {
    if (screen == m_screen && rule == m_rule)
        return;
    m_screen = screen;
    m_rule = rule;
    // A show sees each picture once (a short looping list excepted): the
    // service keeps no more than two of its decoded pictures meanwhile, so
    // memory does not grow with the length of the show. The budget comes
    // back when the show ends.
    // (A picture covering the screen is larger than it on one axis.)
    const SlideDecode decode = slideDecodeFor(rule, screen);
    const qint64 perPicture =
        qint64(decode.box.width()) * decode.box.height() * 4 * (decode.cover ? 2 : 1);
    m_ctx.pictures().setMemoryBudget(std::min(m_savedBudget, 2 * perPicture));
    // Frames made for another size are of no use any more; a picture still
    // awaited is read again for the new one.
    drop(m_ahead);
    if (m_want.handler) {
        Handler h = std::move(m_want.handler);
        const QString path = m_want.path;
        drop(m_want);
        m_want.path = path;
        m_want.handler = std::move(h);
        startLoad(m_want);
    }
}

void SlidePictures::request(const QString& path, Handler onReady) {
    if (!m_ahead.path.isEmpty() && m_ahead.path == path) {
        drop(m_want);
        m_want = std::move(m_ahead);
        m_ahead = Slot();
    } else if (m_want.path != path || m_want.done) {
        // (A picture already handed over is not kept: it is asked for again,
        // and the picture service answers from memory when it still can.)
        drop(m_want);
        m_want.path = path;
        startLoad(m_want);
    }
    m_want.handler = std::move(onReady);
    if (m_want.done)
        deliver();
}

void SlidePictures::prepareAhead(const QString& path) {
    if (path == m_ahead.path)
        return;
    drop(m_ahead);
    if (path.isEmpty() || path == m_want.path)
        return;
    m_ahead.path = path;
    startLoad(m_ahead);
}

void SlidePictures::drop(Slot& slot) {
    if (slot.ticket)
        m_ctx.pictures().cancel(slot.ticket);
    slot = Slot();
}

void SlidePictures::startLoad(Slot& slot) {
    const quint64 serial = ++m_serial;
    slot.serial = serial;
    const QSize screen = m_screen;
    const int rule = m_rule;
    const SlideDecode decode = slideDecodeFor(rule, screen);
    // Every load has a slot of its own with the service: a picture prepared
    // ahead and then asked for is never superseded by the next one.
    const PictureRequest req = decode.centre ? PictureRequest::centre(slot.path, decode.box, serial)
                               : decode.cover
                                   ? PictureRequest::covering(slot.path, decode.box, serial)
                                   : PictureRequest::fitted(slot.path, decode.box, serial);
    slot.ticket =
        m_ctx.pictures().request(this, req, [this, serial, screen, rule](const PictureResult& r) {
            if (Slot* s = slotOf(serial))
                s->ticket = 0;
            if (!r.ok()) {
                loaded(serial, false, SlideFrame());
                return;
            }
            // The last scaling or cut to the screen runs off the GUI thread too.
            const Picture p = r.picture;
            auto* watcher = new QFutureWatcher<SlideFrame>(this);
            connect(watcher, &QFutureWatcher<SlideFrame>::finished, this, [this, watcher, serial] {
                const SlideFrame f = watcher->result();
                watcher->deleteLater();
                loaded(serial, !f.isNull(), f);
            });
            watcher->setFuture(QtConcurrent::run([p, screen, rule] {
                const QSize natural = p.naturalSize.isEmpty() ? p.image.size() : p.naturalSize;
                return prepareFrame(p.image, natural, p.region, rule, screen);
            }));
        });
}

SlidePictures::Slot* SlidePictures::slotOf(quint64 serial) {
    if (serial == m_want.serial)
        return &m_want;
    if (serial == m_ahead.serial)
        return &m_ahead;
    return nullptr;
}

void SlidePictures::loaded(quint64 serial, bool ok, const SlideFrame& frame) {
    Slot* slot = slotOf(serial);
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
