#pragma once
// The scanner commands of the main window and of the scanner window: choose
// the scanner, acquire a picture (settings dialog, scan with progress and
// cancel) and the scanner window's life. One object per main window; it owns
// the scanning engine and what the session remembers.
#include "app/appcontext.h"
#include "scanner/scandialogs.h"
#include "scanner/scanengine.h"
#include "scanner/scanner.h"

#include <QPointer>
#include <QProgressDialog>

class QAction;

namespace lumenta {

class ScannerCommands : public QObject {
    Q_OBJECT
public:
    ScannerCommands(AppContext& ctx, QWidget* mainWindow);
    // Cancels a running scan and waits for the engine before going.
    ~ScannerCommands() override;

    // The main window's items, disabled while a scan runs.
    void bindMainActions(QAction* selectSource, QAction* acquire);

    // "Sélectionner source..." of the main window.
    void selectSource() { startSelectSource(m_main); }
    // "Acquerir" of the main window: on success the scanner window shows the
    // picture; a failure or a cancel shows nothing.
    void acquire() { startAcquire(false); }

    bool busy() const { return m_busy; }
    ScannerSession& session() { return m_session; }
    ScanEngine& engine() { return m_engine; }
    // The open dialogs and window, null when not shown (a dialog is let go
    // as soon as it is answered).
    Scanner* window() const { return m_window; }
    SourceDialog* sourceDialog() const { return m_source; }
    ScanSettingsDialog* settingsDialog() const { return m_settings; }
    QProgressDialog* progressDialog() const { return m_progress; }

Q_SIGNALS:
    // The scanner window closed: the main window lists the files again.
    void windowClosed();
    void busyChanged(bool busy);

private:
    void setBusy(bool busy);
    void startSelectSource(QWidget* owner);
    void startAcquire(bool fromWindow);
    void onDevices(const QList<ScanDevice>& devices, bool ok);
    void onProbed(const DeviceCapabilities& caps, ScanResult::Status status, const QString& error);
    void onScanned(const ScanResult& result);
    void onProgress(qint64 done, qint64 total);
    void finish(const ScanResult& result);
    // The scanner window is closing: the acquisition it asked for is given
    // up wherever it stands, and its result, when it comes, is dropped.
    void abandonAcquisition();
    void closeProgress();
    QWidget* owner() const;
    Scanner* ensureWindow();

    AppContext& m_ctx;
    QPointer<QWidget> m_main;
    QPointer<QAction> m_mainSource;
    QPointer<QAction> m_mainAcquire;
    ScannerSession m_session;
    ScanEngine m_engine;
    QPointer<Scanner> m_window;
    QPointer<SourceDialog> m_source;
    QPointer<ScanSettingsDialog> m_settings;
    QPointer<QProgressDialog> m_progress;
    bool m_busy = false;
    bool m_fromWindow = false; // the running acquisition was asked by the window
    bool m_abandoned = false;  // its window closed: nothing more is shown for it
};

} // namespace lumenta
