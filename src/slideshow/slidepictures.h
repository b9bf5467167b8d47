#pragma once
// Pictures for the slideshow screen, from the picture service at the size the
// size rule draws them (reduced, or only the screen-sized centre), one kept
// ahead: while a picture is shown the next one is prepared, so that it
// appears as soon as it is asked for. At most two screen-sized frames are
// held, whatever the length of the show, and while it exists the service
// keeps no more than two decoded pictures of the show's size.
#include "app/appcontext.h"
#include "slideshow/slideframe.h"

#include <QObject>
#include <QSize>
#include <QString>

#include <functional>

namespace lumenta {

class SlidePictures : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(bool ok, const SlideFrame& frame)>;

    SlidePictures(AppContext& ctx, QObject* parent = nullptr);
    ~SlidePictures() override;

    // The screen (device pixels) and the size rule the frames are made for.
    void setTarget(QSize screen, int rule);

    // Asks for a picture; onReady runs on this thread once it is ready (at
    // once when it was prepared ahead). Replaces the previous request, whose
    // handler then never runs.
    void request(const QString& path, Handler onReady);
    // Prepares a picture ahead of its request, replacing the one prepared
    // ahead before. An empty path drops it.
    void prepareAhead(const QString& path);

    // Whether a request is waiting for its picture.
    bool isWaiting() const { return bool(m_want.handler); }

private:
    struct Slot {
        QString path;
        quint64 serial = 0; // the load filling this slot
        quint64 ticket = 0; // its picture service request, while pending
        bool done = false;
        bool ok = false;
        SlideFrame frame;
        Handler handler;
    };
    void startLoad(Slot& slot);
    void drop(Slot& slot);
    Slot* slotOf(quint64 serial);
    void loaded(quint64 serial, bool ok, const SlideFrame& frame);
    void deliver();

    AppContext& m_ctx;
    qint64 m_savedBudget; // the service's memory budget before the show
    QSize m_screen;
    int m_rule = 3;
    quint64 m_serial = 0;
    Slot m_want;  // the picture asked for
    Slot m_ahead; // the one prepared ahead
};

} // namespace lumenta
