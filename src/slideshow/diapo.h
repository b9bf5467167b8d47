#pragma once
// "Paramétrage du diaporama": the slideshow settings. Every control edits
// one slideshow field of the settings at once (most are saved at once);
// "&OK" saves, closes and starts the show, "&Annuler" closes.
#include "app/appcontext.h"
#include "slideshow/slideshowhost.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace lumenta {

class Diapo : public QDialog {
    Q_OBJECT
public:
    Diapo(AppContext& ctx, const SlideshowHost& host, QWidget* parent = nullptr);

    // The slideshow command of the main window: the settings window, then
    // the show when it closes with "&OK". With no file in the main list and
    // no valid selection list, only a warning.
    static void run(AppContext& ctx, const SlideshowHost& host);

    // The help text of a size rule; empty for an unknown rule.
    static QString helpText(int sizeMode);

    // Controls, named as in the design.
    QGroupBox* Frame1 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option5 = nullptr;
    QRadioButton* Option6 = nullptr;
    QLabel* Label5 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QRadioButton* Option3 = nullptr;
    QRadioButton* Option4 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QRadioButton* Option7 = nullptr;
    QRadioButton* Option8 = nullptr;
    QRadioButton* Option9 = nullptr;
    QRadioButton* Option10 = nullptr;
    QRadioButton* Option11 = nullptr;
    QRadioButton* Option12 = nullptr;
    QGroupBox* Frame5 = nullptr;
    QRadioButton* Option13 = nullptr;
    QRadioButton* Option14 = nullptr;
    QGroupBox* Frame6 = nullptr;
    QRadioButton* Option15 = nullptr;
    QRadioButton* Option16 = nullptr;
    QGroupBox* Frame7 = nullptr;
    QCheckBox* Check2 = nullptr;
    QPushButton* Command3 = nullptr;
    QLabel* Label6 = nullptr;
    QGroupBox* Frame8 = nullptr;
    QCheckBox* Check1 = nullptr;
    QCheckBox* Check3 = nullptr;
    QCheckBox* Check4 = nullptr;
    QLabel* Label1 = nullptr;
    QScrollBar* HScroll1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label3 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;

    // Handlers (public so tests can drive them).
    void Command3_Click();
    void Command1_Click();

protected:
    bool event(QEvent* e) override;

private:
    void createControls();
    void wire();
    void load();
    void activated();
    void AffichAide();
    void sizeChosen(int16_t mode);
    void typeChosen(int16_t type);
    void colourChosen(int16_t code);
    void orderChosen(int16_t order);
    void check1Changed();
    void check2Changed();
    void check3Changed();
    void check4Changed();
    void pauseChanged(int value);
    void setPauseGroupVisible(bool on);
    // Saves the settings (once, at the end, while loading).
    void rewrite();

    AppContext& m_ctx;
    SlideshowHost m_host;
    bool m_loading = false;
    bool m_rewriteDue = false;
};

} // namespace lumenta
