#include "scanner/scanengine.h"

#include "scanner/frameassembler.h"
#include "scanner/saneoptions.h"

#include <QElapsedTimer>
#include <poll.h>
#include <unistd.h>

namespace lumenta {

namespace {

QString statusText(SANE_Status s) {
    return QString::fromUtf8(sane_strstatus(s));
}

FrameParams toFrameParams(const SANE_Parameters& p) {
    FrameParams f;
    switch (p.format) {
    case SANE_FRAME_RGB:
        f.format = FrameParams::Format::RGB;
        break;
    case SANE_FRAME_RED:
        f.format = FrameParams::Format::Red;
        break;
    case SANE_FRAME_GREEN:
        f.format = FrameParams::Format::Green;
        break;
    case SANE_FRAME_BLUE:
        f.format = FrameParams::Format::Blue;
        break;
    default:
        f.format = FrameParams::Format::Gray;
        break;
    }
    f.lastFrame = p.last_frame;
    f.bytesPerLine = p.bytes_per_line;
    f.pixelsPerLine = p.pixels_per_line;
    f.lines = p.lines < 0 ? -1 : p.lines;
    f.depth = p.depth;
    return f;
}

} // namespace

ScanEngine::ScanEngine(QObject* parent) : QObject(parent), m_forceTimer(new QTimer(this)) {
    m_forceTimer->setSingleShot(true);
    m_forceTimer->setInterval(1500);
    connect(m_forceTimer, &QTimer::timeout, this, [this] { forceCancel(); });
}

ScanEngine::~ScanEngine() {
    cancel();
    {
        std::unique_lock lock(m_mutex);
        m_jobs.clear();
        // The scan normally stops at its next read; a stuck device gets
        // sane_cancel, then the worker is awaited before SANE is released.
        if (!m_idle.wait_for(lock, std::chrono::milliseconds(1500),
                             [this] { return !m_running; })) {
            lock.unlock();
            forceCancel();
            lock.lock();
        }
        m_stop = true;
    }
    m_wake.notify_all();
    if (!m_thread.joinable())
        return;
    // A driver that never comes back must not keep the program from ending.
    std::unique_lock lock(m_mutex);
    if (m_idle.wait_for(lock, std::chrono::seconds(10), [this] { return m_finished; })) {
        lock.unlock();
        m_thread.join();
    } else {
        m_thread.detach();
    }
}

void ScanEngine::post(std::function<void()> job) {
    if (m_pending++ == 0)
        Q_EMIT busyChanged(true);
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
    m_wake.notify_one();
}

void ScanEngine::deliver(std::function<void()> fn, bool endsJob) {
    QMetaObject::invokeMethod(
        this,
        [this, endsJob, fn = std::move(fn)] {
            if (endsJob && --m_pending == 0)
                Q_EMIT busyChanged(false);
            fn();
        },
        Qt::QueuedConnection);
}

void ScanEngine::run() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
            if (m_stop)
                break;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_running = true;
        }
        job();
        {
            std::lock_guard lock(m_mutex);
            m_running = false;
        }
        m_idle.notify_all();
    }
    if (m_inited)
        sane_exit();
    std::lock_guard lock(m_mutex);
    m_finished = true;
    m_idle.notify_all();
}

bool ScanEngine::ensureInit(QString* error) {
    if (m_inited)
        return true;
    SANE_Int version = 0;
    const SANE_Status s = sane_init(&version, nullptr);
    if (s != SANE_STATUS_GOOD) {
        *error = statusText(s);
        return false;
    }
    m_inited = true;
    return true;
}

QList<ScanDevice> ScanEngine::devices(bool* ok) {
    QList<ScanDevice> out;
    QString error;
    const SANE_Device** list = nullptr;
    *ok = ensureInit(&error) && sane_get_devices(&list, SANE_FALSE) == SANE_STATUS_GOOD;
    for (int i = 0; *ok && list && list[i]; ++i) {
        const SANE_Device* d = list[i];
        auto text = [](const char* s) { return s ? QString::fromUtf8(s) : QString(); };
        out.append({text(d->name), text(d->vendor), text(d->model), text(d->type)});
    }
    return out;
}

void ScanEngine::listDevices() {
    post([this] {
        bool ok = false;
        const QList<ScanDevice> found = devices(&ok);
        deliver([this, found, ok] { Q_EMIT devicesListed(found, ok); });
    });
}

QString ScanEngine::resolve(const QString& device, ScanResult::Status* status, QString* error) {
    if (!device.isEmpty())
        return device;
    bool ok = false;
    const QList<ScanDevice> found = devices(&ok);
    if (found.isEmpty()) {
        *status = ScanResult::Status::NoDevice;
        *error = QStringLiteral("no scanner found");
        return {};
    }
    return found.first().name;
}

void ScanEngine::probe(const QString& device) {
    post([this, device] {
        ScanResult::Status status = ScanResult::Status::Ok;
        QString error;
        const DeviceCapabilities caps = doProbe(device, &status, &error);
        deliver([this, caps, status, error] { Q_EMIT probed(caps, status, error); });
    });
}

DeviceCapabilities ScanEngine::doProbe(const QString& device, ScanResult::Status* status,
                                       QString* error) {
    DeviceCapabilities caps;
    if (!ensureInit(error)) {
        *status = ScanResult::Status::NoDevice;
        return caps;
    }
    caps.device = resolve(device, status, error);
    if (caps.device.isEmpty())
        return caps;
    SANE_Handle h = nullptr;
    const SANE_Status s = sane_open(caps.device.toUtf8().constData(), &h);
    if (s != SANE_STATUS_GOOD) {
        *status = ScanResult::Status::Failed;
        *error = statusText(s);
        return caps;
    }
    SaneOptions opts(h);
    if (opts.active(QStringLiteral("mode"))) {
        caps.modes = stringList(opts.descriptor(QStringLiteral("mode")));
        caps.currentMode = opts.get(QStringLiteral("mode")).toString();
    }
    if (opts.active(QStringLiteral("depth"))) {
        const NumericConstraint c = numericConstraint(opts.descriptor(QStringLiteral("depth")));
        for (double v : c.values)
            caps.depths.append(int(v));
    }
    if (opts.settable(QStringLiteral("resolution"))) {
        const NumericConstraint c =
            numericConstraint(opts.descriptor(QStringLiteral("resolution")));
        caps.minDpi = c.isRange ? c.min : 0;
        caps.maxDpi = c.isRange ? c.max : 0;
        caps.dpiList = c.values;
        caps.currentDpi = opts.get(QStringLiteral("resolution")).toDouble();
    }
    const QStringList corners{QStringLiteral("tl-x"), QStringLiteral("tl-y"),
                              QStringLiteral("br-x"), QStringLiteral("br-y")};
    caps.hasArea = std::all_of(corners.cbegin(), corners.cend(), [&opts](const QString& n) {
        const SANE_Option_Descriptor* d = opts.descriptor(n);
        return opts.settable(n) && d->unit == SANE_UNIT_MM &&
               d->constraint_type == SANE_CONSTRAINT_RANGE;
    });
    if (caps.hasArea) {
        auto range = [&opts](const QString& n) { return numericConstraint(opts.descriptor(n)); };
        caps.bed = QRectF(QPointF(range(corners[0]).min, range(corners[1]).min),
                          QPointF(range(corners[2]).max, range(corners[3]).max));
    }
    sane_close(h);
    return caps;
}

void ScanEngine::scan(const ScanRequest& request) {
    const int id = ++m_lastScan;
    post([this, request, id] {
        ScanResult result = doScan(request, id);
        deliver([this, result = std::move(result)] { Q_EMIT scanned(result); });
    });
}

void ScanEngine::cancel() {
    m_cancelUpTo = m_lastScan.load();
    m_forceTimer->start();
}

void ScanEngine::forceCancel() {
    std::lock_guard lock(m_activeMutex);
    if (m_active && cancelled(m_activeScan))
        sane_cancel(m_active);
}

void ScanEngine::setActive(void* handle, int scan) {
    std::lock_guard lock(m_activeMutex);
    m_active = handle;
    m_activeScan = scan;
}

ScanResult ScanEngine::doScan(const ScanRequest& request, int id) {
    ScanResult result;
    if (!ensureInit(&result.error)) {
        result.status = ScanResult::Status::NoDevice;
        return result;
    }
    result.status = ScanResult::Status::Ok;
    result.device = resolve(request.device, &result.status, &result.error);
    if (result.device.isEmpty())
        return result;
    if (cancelled(id)) {
        result.status = ScanResult::Status::Cancelled;
        return result;
    }
    SANE_Handle h = nullptr;
    const SANE_Status s = sane_open(result.device.toUtf8().constData(), &h);
    if (s != SANE_STATUS_GOOD) {
        result.status = ScanResult::Status::Failed;
        result.error = statusText(s);
        return result;
    }
    setActive(h, id);

    SaneOptions opts(h);
    auto apply = [&](const QString& name, const QVariant& value) {
        QVariant actual;
        if (opts.set(name, value, &actual))
            result.applied.append({name, actual});
    };
    const ScanSettings& st = request.settings;
    if (!st.mode.isEmpty())
        apply(QStringLiteral("mode"), st.mode);
    if (st.depth > 0)
        apply(QStringLiteral("depth"), st.depth);
    for (const ScanOption& o : request.options)
        apply(o.name, o.value);
    if (st.dpi > 0)
        apply(QStringLiteral("resolution"), st.dpi);
    if (opts.settable(QStringLiteral("br-x")) &&
        opts.descriptor(QStringLiteral("br-x"))->unit == SANE_UNIT_MM) {
        auto limits = [&opts](const char* n) {
            return numericConstraint(opts.descriptor(QLatin1String(n)));
        };
        const QRectF bed(QPointF(limits("tl-x").min, limits("tl-y").min),
                         QPointF(limits("br-x").max, limits("br-y").max));
        const QRectF r = areaOnBed(st.area, bed);
        apply(QStringLiteral("tl-x"), r.left());
        apply(QStringLiteral("tl-y"), r.top());
        apply(QStringLiteral("br-x"), r.right());
        apply(QStringLiteral("br-y"), r.bottom());
    }
    result.dpi = opts.get(QStringLiteral("resolution")).toDouble();

    FrameAssembler frames;
    try {
        readFrames(h, id, frames, result);
        if (result.ok()) {
            result.image = frames.picture(result.dpi);
            if (result.image.isNull()) {
                result.status = ScanResult::Status::Failed;
                result.error = QStringLiteral("the scanner sent no picture");
            }
        }
    } catch (const std::bad_alloc&) {
        result.status = ScanResult::Status::NoMemory;
        result.error = QStringLiteral("out of memory");
        result.image = QImage();
    }
    if (cancelled(id) && result.status != ScanResult::Status::NoMemory) {
        result.status = ScanResult::Status::Cancelled;
        result.image = QImage();
    }
    setActive(nullptr, 0);
    sane_cancel(h); // ends the scan, as every scan must end
    sane_close(h);
    return result;
}

void ScanEngine::readFrames(void* handle, int id, FrameAssembler& frames, ScanResult& result) {
    SANE_Handle h = handle;
    std::vector<char> buf(256 * 1024);
    QElapsedTimer sinceReport;
    sinceReport.start();
    int frameIndex = 0;
    for (;;) {
        SANE_Status s = sane_start(h);
        if (s != SANE_STATUS_GOOD) {
            result.status = s == SANE_STATUS_CANCELLED ? ScanResult::Status::Cancelled
                                                       : ScanResult::Status::Failed;
            result.error = statusText(s);
            return;
        }
        // Only now are the parameters exact.
        SANE_Parameters p{};
        s = sane_get_parameters(h, &p);
        const FrameParams fp = toFrameParams(p);
        if (s != SANE_STATUS_GOOD || !frames.begin(fp, &result.error)) {
            result.status = ScanResult::Status::Failed;
            if (s != SANE_STATUS_GOOD)
                result.error = statusText(s);
            return;
        }
        const bool channel =
            fp.format != FrameParams::Format::Gray && fp.format != FrameParams::Format::RGB;
        const qint64 frameBytes = frames.expectedBytes();
        const qint64 total = frameBytes < 0 ? -1 : frameBytes * (channel ? 3 : 1);
        const qint64 before = frameBytes < 0 ? 0 : frameBytes * frameIndex;

        // A device that offers a descriptor is waited for through it until
        // its first data, which can take long (a lamp warming up), so that a
        // cancel is seen meanwhile. Then blocking reads; a device that keeps
        // one waiting gets sane_cancel from the other thread (forceCancel).
        // Non-blocking mode is left alone: backends get it wrong, the test
        // one included.
        SANE_Int fd = -1;
        if (sane_get_select_fd(h, &fd) == SANE_STATUS_GOOD && fd >= 0) {
            pollfd wait{fd, POLLIN, 0};
            while (::poll(&wait, 1, 100) == 0) {
                if (cancelled(id))
                    return;
            }
        }
        for (;;) {
            if (cancelled(id))
                return;
            SANE_Int len = 0;
            s = sane_read(h, reinterpret_cast<SANE_Byte*>(buf.data()), SANE_Int(buf.size()), &len);
            if (s == SANE_STATUS_EOF)
                break;
            if (s != SANE_STATUS_GOOD) {
                result.status = s == SANE_STATUS_CANCELLED ? ScanResult::Status::Cancelled
                                                           : ScanResult::Status::Failed;
                result.error = statusText(s);
                return;
            }
            if (len > 0)
                frames.append(buf.data(), std::min<qsizetype>(len, qsizetype(buf.size())));
            else
                ::usleep(2000); // GOOD without data: the device is not ready yet
            if (sinceReport.elapsed() >= 50) {
                sinceReport.restart();
                const qint64 done = before + frames.receivedBytes();
                deliver([this, done, total] { Q_EMIT progress(done, total); }, false);
            }
        }
        frames.end();
        ++frameIndex;
        if (fp.lastFrame || frameIndex >= 3)
            return;
    }
}

} // namespace lumenta
