#pragma once
// The scanner window: the scanned picture with scroll bars, scanning again,
// choosing the scanner, copying and saving as BMP.
#include "app/appcontext.h"
#include "dialogs/commondialog.h"
#include "scanner/scantypes.h"

#include <QImage>
#include <QMainWindow>

class QAction;
class QMenu;
class QScrollBar;

namespace lumenta {

class PictureBox;

// What the scanner commands remember for the session.
struct ScannerSession {
    QString device;        // chosen in the source dialog; empty: the first one
    ScanSettings settings; // the last choices of the settings dialog
    bool settingsChosen = false;
    QList<ScanOption> deviceOptions; // more device options set before each scan
    QString lastSaveName;            // where the last picture was saved
};

class Scanner : public QMainWindow {
    Q_OBJECT
public:
    Scanner(AppContext& ctx, ScannerSession& session, QWidget* parent = nullptr);

    QWidget* PicFond = nullptr;
    PictureBox* PicImage = nullptr;
    QScrollBar* HScroll1 = nullptr;
    QScrollBar* VScroll1 = nullptr;
    CommonDialog CMDialog1;

    QMenu* Mnu_Fichier = nullptr;
    QAction* Mnu_Nouveau = nullptr;
    QAction* sep3 = nullptr;
    QAction* Mnu_Enregistrer = nullptr;
    QAction* sep1 = nullptr;
    QAction* Mnu_Acquerir = nullptr;
    QAction* Mnu_SelectSource = nullptr;
    QAction* sep2 = nullptr;
    QAction* Mnu_Fermer = nullptr;
    QMenu* Mnu_Edition = nullptr;
    QAction* Mnu_Copie = nullptr;
    QMenu* Mnu_Aide = nullptr;
    QAction* Mnu_Résolution = nullptr;

    // The window's picture (null when there is none).
    const QImage& picture() const { return m_picture; }
    void setPicture(const QImage& picture);

    // Scroll ranges from the picture's overhang over the viewport.
    void CalculScroll();
    void Nouveau();
    void Enregistrer();
    void Copie();
    void Resolution();
    void Fermer();
    // While a scan runs, scanning and choosing the scanner are disabled.
    void setBusy(bool busy);

    // Shows the acquisition failure message.
    void showAcquireFailure();

Q_SIGNALS:
    void acquireRequested();
    void selectSourceRequested();
    // The window is closing: a running scan is to be stopped.
    void closing();

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void createMenus();
    void updateCommands();
    void placePicture();

    AppContext& m_ctx;
    ScannerSession& m_session;
    QImage m_picture;
    bool m_busy = false;
};

} // namespace lumenta
