#pragma once
// "CD-Player": a small window beside the main window that plays an audio
// disc by track through a multimedia control on the "CDAudio" device. It
// does not block the main window, and it shows the number of tracks, the
// current track and the times of the track or of the whole disc.
#include "app/appcontext.h"

#include <QDialog>

#include <array>

class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QTabBar;

namespace lumenta {

class MMControl;

// A dialog that never blocks: assistive technologies see a window of its
// own, not a bare panel.
class CDPlayer : public QDialog {
    Q_OBJECT
public:
    CDPlayer(AppContext& ctx, QWidget* mainWindow);

    // Shows the player beside mainWindow, made on first use and kept
    // (hidden when closed) for the rest of the session.
    static CDPlayer* showBeside(AppContext& ctx, QWidget* mainWindow);
    // The volume controls looked for on PATH, in order.
    static QStringList volumeControls();

    // Controls, named as in the design.
    QGroupBox* Frame2 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* InfoTracks = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* InfoTrack = nullptr;
    QTabBar* TabStrip1 = nullptr;
    QFrame* picTitre = nullptr;
    QFrame* picCD = nullptr;
    QLabel* DureeTitre = nullptr;
    QLabel* TitreDiffuse = nullptr;
    QLabel* TitreReste = nullptr;
    QLabel* DureeTotal = nullptr;
    QLabel* TotalDiffuse = nullptr;
    QLabel* TotalReste = nullptr;
    std::array<QLabel*, 6> Label3{}; // captions of the six times
    MMControl* MMControl1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QPushButton* Command1 = nullptr; // load
    QPushButton* CDEnd = nullptr;    // eject
    QPushButton* Command3 = nullptr; // volume
    QPushButton* Command2 = nullptr; // quit

    // Handlers (public so tests can drive them).
    void Command1_Click();
    void CDEnd_Click();
    void Command2_Click();
    void Command3_Click();
    void TabStrip1_Click();
    // Reads the disc once and shows it; a value that cannot be read leaves
    // the labels as they are.
    void RefreshDisplay();

    // Escape closes the window as the close box does.
    void reject() override;

protected:
    // However the window is closed, the disc stops: a hidden player must
    // not go on sounding.
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    QFrame* timesPanel(const char* name, int firstCaption,
                       const std::array<const char*, 3>& captions,
                       const std::array<QLabel**, 3>& values);
    void StopDisc();
    void EjectDisc();
    // After a button's own command: the refresh interval follows the mode.
    void afterCommand();
    void loaded(bool ok);
    void setLoading(bool on);
    void clearLabels();

    AppContext& m_ctx;
    bool m_placed = false;
};

} // namespace lumenta
