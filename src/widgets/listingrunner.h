#pragma once
// Runs the listings of one list off the GUI thread. A newer start()
// abandons the listing under way: its result never arrives, and it stops
// at its next entry. Destroying the runner abandons too, without waiting
// for the worker (a folder on a slow share may keep it a while).
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

namespace lumenta {

class ListingRunner : public QObject {
    Q_OBJECT
public:
    explicit ListingRunner(QObject* parent = nullptr);
    ~ListingRunner() override;

    // What a listing hands back to the GUI thread.
    using Done = std::function<void()>;
    // Runs on a worker; `cancelled` turns true once the listing is
    // abandoned. What it returns runs on the runner's thread, unless the
    // listing was abandoned meanwhile.
    using Work = std::function<Done(const std::atomic<bool>& cancelled)>;

    void start(Work work);
    void abandon();
    bool isRunning() const { return m_link != nullptr; }

Q_SIGNALS:
    void runningChanged(bool running);

private:
    struct Link;
    void finish(const std::shared_ptr<Link>& link, const Done& done);

    std::shared_ptr<Link> m_link; // the listing under way
};

} // namespace lumenta
