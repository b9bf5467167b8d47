#include "scanner/scannercommands.h"

#include "scanner/scandialogs.h"

#include <QAction>
#include <QProgressDialog>

#include <utility>

namespace lumenta {

ScannerCommands::ScannerCommands(AppContext& ctx, QWidget* mainWindow)
    : QObject(mainWindow), m_ctx(ctx), m_main(mainWindow) {
    setObjectName(QStringLiteral("ScannerCommands"));
    connect(&m_engine, &ScanEngine::devicesListed, this, &ScannerCommands::onDevices);
    connect(&m_engine, &ScanEngine::probed, this, &ScannerCommands::onProbed);
    connect(&m_engine, &ScanEngine::scanned, this, &ScannerCommands::onScanned);
    connect(&m_engine, &ScanEngine::progress, this, &ScannerCommands::onProgress);
}

ScannerCommands::~ScannerCommands() {
    // The windows and dialogs refer to the session; they go first. The
    // engine then stops the scan and waits for its thread.
    delete m_progress;
    delete m_settings;
    delete m_source;
    delete m_window;
}

void ScannerCommands::bindMainActions(QAction* selectSource, QAction* acquire) {
    m_mainSource = selectSource;
    m_mainAcquire = acquire;
}

void ScannerCommands::setBusy(bool busy) {
    m_busy = busy;
    for (QAction* a : {m_mainSource.data(), m_mainAcquire.data()}) {
        if (a)
            a->setEnabled(!busy);
    }
    if (m_window)
        m_window->setBusy(busy);
    Q_EMIT busyChanged(busy);
}

QWidget* ScannerCommands::owner() const {
    if (m_fromWindow && m_window)
        return m_window;
    return m_main;
}

void ScannerCommands::startSelectSource(QWidget* owner) {
    if (m_busy)
        return;
    setBusy(true);
    m_source = new SourceDialog(owner);
    m_source->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_source, &QDialog::finished, this, [this](int r) {
        const QPointer<SourceDialog> answered = std::exchange(m_source, nullptr);
        if (r == QDialog::Accepted && answered && !answered->chosen().isEmpty())
            m_session.device = answered->chosen();
        setBusy(false);
    });
    m_source->open();
    m_engine.listDevices();
}

void ScannerCommands::onDevices(const QList<ScanDevice>& devices, bool ok) {
    if (m_source)
        m_source->setDevices(devices, m_session.device, ok);
}

void ScannerCommands::startAcquire(bool fromWindow) {
    if (m_busy)
        return;
    m_fromWindow = fromWindow;
    m_abandoned = false;
    setBusy(true);
    m_engine.probe(m_session.device);
}

void ScannerCommands::onProbed(const DeviceCapabilities& caps, ScanResult::Status status,
                               const QString& error) {
    if (!m_busy)
        return;
    if (m_abandoned) {
        // The device opened for a window that is gone: no settings dialog.
        ScanResult cancelled;
        cancelled.status = ScanResult::Status::Cancelled;
        finish(cancelled);
        return;
    }
    if (status != ScanResult::Status::Ok) {
        ScanResult failed;
        failed.status = status;
        failed.error = error;
        finish(failed);
        return;
    }
    m_settings =
        new ScanSettingsDialog(caps, m_session.settings, m_session.settingsChosen, owner());
    m_settings->setAttribute(Qt::WA_DeleteOnClose);
    const QString device = caps.device;
    connect(m_settings, &QDialog::finished, this, [this, device](int r) {
        // The dialog deletes itself once closed.
        const QPointer<ScanSettingsDialog> answered = std::exchange(m_settings, nullptr);
        if (r != QDialog::Accepted || !answered || m_abandoned) {
            ScanResult cancelled;
            cancelled.status = ScanResult::Status::Cancelled;
            finish(cancelled);
            return;
        }
        m_session.settings = answered->settings();
        m_session.settingsChosen = true;
        m_engine.scan({device, m_session.settings, m_session.deviceOptions});

        m_progress =
            new QProgressDialog(tr("Numérisation en cours..."), tr("Annuler"), 0, 0, owner());
        m_progress->setObjectName(QStringLiteral("ScanProgress"));
        m_progress->setWindowTitle(tr("Numérisation"));
        m_progress->setWindowModality(Qt::NonModal);
        m_progress->setAutoClose(false);
        m_progress->setAutoReset(false);
        m_progress->setMinimumDuration(0);
        connect(m_progress, &QProgressDialog::canceled, &m_engine, &ScanEngine::cancel);
        m_progress->show();
    });
    m_settings->open();
}

void ScannerCommands::onProgress(qint64 done, qint64 total) {
    if (!m_progress)
        return;
    if (total > 0) {
        m_progress->setMaximum(1000);
        m_progress->setValue(int(std::min<qint64>(1000, done * 1000 / total)));
    } else {
        m_progress->setRange(0, 0);
    }
}

void ScannerCommands::onScanned(const ScanResult& result) {
    closeProgress();
    finish(result);
}

void ScannerCommands::closeProgress() {
    QProgressDialog* progress = std::exchange(m_progress, nullptr);
    if (!progress)
        return;
    progress->disconnect(this);
    progress->disconnect(&m_engine);
    progress->hide();
    progress->deleteLater();
}

void ScannerCommands::finish(const ScanResult& result) {
    const bool fromWindow = m_fromWindow;
    const bool abandoned = std::exchange(m_abandoned, false);
    setBusy(false);
    if (abandoned || (fromWindow && !m_window))
        return; // the window that asked is gone
    if (result.ok()) {
        Scanner* w = ensureWindow();
        w->setPicture(result.image);
        w->show();
        w->raise();
        w->activateWindow();
    } else if (result.status != ScanResult::Status::Cancelled && fromWindow && m_window) {
        // The main window's acquisition stays silent; this window says so.
        m_window->showAcquireFailure();
    }
}

void ScannerCommands::abandonAcquisition() {
    m_abandoned = true;
    // Opening the device cannot be interrupted: its answer is dropped
    // (onProbed). A scan stops at its next read; its dialogs go now.
    m_engine.cancel();
    closeProgress();
    if (m_settings)
        m_settings->reject();
}

Scanner* ScannerCommands::ensureWindow() {
    if (m_window)
        return m_window;
    m_window = new Scanner(m_ctx, m_session, m_main);
    m_window->setAttribute(Qt::WA_DeleteOnClose);
    m_window->setBusy(m_busy);
    connect(m_window, &Scanner::acquireRequested, this, [this] { startAcquire(true); });
    connect(m_window, &Scanner::selectSourceRequested, this,
            [this] { startSelectSource(m_window); });
    connect(m_window, &Scanner::closing, this, [this] {
        // An acquisition asked from this window ends with it.
        if (m_busy && m_fromWindow)
            abandonAcquisition();
        if (m_source && m_source->parent() == m_window)
            m_source->reject();
        if (m_main) {
            m_main->show();
            m_main->activateWindow();
        }
        Q_EMIT windowClosed();
    });
    return m_window;
}

} // namespace lumenta
