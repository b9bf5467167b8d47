#pragma once
// Scanning through SANE. One worker thread makes every SANE call except
// sane_cancel (which stops a scan from the caller's thread); the requests
// run there one after the other and their results come back by signal on
// the thread that made the engine. The engine initialises SANE on first use
// and releases it when destroyed, after cancelling what runs and waiting for
// the worker. Only one engine may exist at a time in a process.
#include "scanner/scantypes.h"

#include <QObject>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace lumenta {

class ScanEngine : public QObject {
    Q_OBJECT
public:
    explicit ScanEngine(QObject* parent = nullptr);
    ~ScanEngine() override;

    // The devices SANE finds, network ones included: devicesListed.
    void listDevices();
    // Opens a device (the first one found when device is empty), reads what
    // it offers and closes it: probed.
    void probe(const QString& device);
    // Scans one picture: progress, then scanned.
    void scan(const ScanRequest& request);
    // Stops the running scan and those waiting; they end with the status
    // Cancelled. Scans asked for later run normally. The worker stops the
    // scan between two reads; a device that keeps a read waiting is sent
    // sane_cancel from this thread after a grace time.
    void cancel();

    // True from a request until its result has been delivered.
    bool busy() const { return m_pending > 0; }

Q_SIGNALS:
    void devicesListed(const QList<lumenta::ScanDevice>& devices, bool ok);
    void probed(const lumenta::DeviceCapabilities& caps, lumenta::ScanResult::Status status,
                const QString& error);
    // Bytes received so far of the bytes expected (-1 when unknown).
    void progress(qint64 done, qint64 total);
    void scanned(const lumenta::ScanResult& result);
    void busyChanged(bool busy);

private:
    void post(std::function<void()> job);
    // Runs fn on the engine's own thread; endsJob when it carries a job's
    // result.
    void deliver(std::function<void()> fn, bool endsJob = true);
    void run();
    bool ensureInit(QString* error);
    QList<ScanDevice> devices(bool* ok);
    QString resolve(const QString& device, ScanResult::Status* status, QString* error);
    DeviceCapabilities doProbe(const QString& device, ScanResult::Status* status, QString* error);
    ScanResult doScan(const ScanRequest& request, int id);
    void readFrames(void* handle, int id, class FrameAssembler& frames, ScanResult& result);
    void setActive(void* handle, int scan);
    // sane_cancel from this thread, for a read that does not come back.
    void forceCancel();

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_stop = false;
    int m_pending = 0; // touched on the engine's own thread only

    bool m_inited = false; // worker only
    // Scans are numbered; every scan up to m_cancelUpTo is cancelled.
    std::atomic<int> m_lastScan{0};
    std::atomic<int> m_cancelUpTo{0};
    bool cancelled(int scan) const { return m_cancelUpTo >= scan; }
    std::condition_variable m_idle;
    bool m_running = false;  // a job runs on the worker
    bool m_finished = false; // the worker has released SANE and ends
    std::mutex m_activeMutex;
    void* m_active = nullptr; // the handle being scanned, for forceCancel()
    int m_activeScan = 0;
    QTimer* m_forceTimer = nullptr;
};

} // namespace lumenta
