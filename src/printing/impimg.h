#pragma once
// The print layout window: the picture shown in the main window, its printed
// size (scale 1:1 to 1:4 or typed millimetres), the margins (typed or
// centring on an A4 sheet), the printer's default orientation, and one
// print job per click.
#include "app/appcontext.h"
#include "dialogs/commondialog.h"
#include "picture/colourspace.h"
#include "printing/orimp.h"

#include <QDialog>
#include <QList>
#include <QPixmap>
#include <QSizeF>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QPushButton;
class QRadioButton;
class QScrollBar;
template <typename T> class QFutureWatcher;

namespace lumenta {

class PictureBox;
class StretchImage;
class TileFeed;
struct Picture;

class ImpIMG : public QDialog {
    Q_OBJECT
public:
    // Prints on `printer`, the program's current printer object.
    ImpIMG(AppContext& ctx, QPrinter& printer, QWidget* parent = nullptr);
    ~ImpIMG() override;

    // Fills the window for this opening with the picture the main window
    // shows (in `colours`, the display's) and the file it came from. Sizes
    // and margins are set here once, not each time the window becomes
    // active again. The picture is printed in sRGB.
    void fill(const QImage& picture, const QString& path, const ColourSpace& colours = {});
    // The same for a picture too large to be held whole (Picture::tiled):
    // shown from its tiles, its overview standing in, and printed from a
    // copy reduced to the printer's dots, decoded in sRGB by the picture
    // service.
    void fillTiled(const Picture& picture, const QImage& overview, const QString& path);

    // Controls, named as in the design.
    QLabel* Label1 = nullptr;
    StretchImage* Image1 = nullptr;
    QWidget* PicFond = nullptr;
    PictureBox* PicImage = nullptr;
    QScrollBar* HScroll1 = nullptr;
    QScrollBar* VScroll1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option4 = nullptr;
    QRadioButton* Option5 = nullptr;
    QRadioButton* Option3 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Text2 = nullptr;
    QCheckBox* Check1 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* Text4 = nullptr;
    QCheckBox* Check2 = nullptr;
    QGroupBox* Frame5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label9 = nullptr;
    QGroupBox* Frame6 = nullptr;
    QLabel* PictureIMP = nullptr;
    QLabel* Label11 = nullptr;
    QList<QPixmap> ImageList1; // portrait, landscape
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    CommonDialog CMDialog1;

    // Handlers (public so tests can drive them as the user would).
    void ScaleOption(int k);
    void Text1_Change();
    void Text2_Change();
    void Check2_Click();
    void ComputeMargins();
    void Command4_Click();
    void Command5_Click();
    void Command1_Click();

    // True while a print job is being made; the window then ignores input
    // and closes when the job is done.
    bool isPrinting() const;

protected:
    void reject() override;
    void closeEvent(QCloseEvent* e) override;

private:
    void createControls();
    void layOut(const QString& path);
    // The job, on a worker; `decoded` false when the copy to print could
    // not be had (said as a printer error).
    void startJob(const QImage& picture, const QRectF& mm, bool decoded);
    void showPrinterOrientation();
    void updateSizeLabels();
    void orientationButton(int orientation);
    void printFinished();
    void setBoxText(QLineEdit* box, const QString& text);

    AppContext& m_ctx;
    AppState& m_st;
    QPrinter& m_printer;
    OrImp m_orImp;
    QString m_path;
    ColourSpace m_colours;
    // The picture's size at 1:1, in whole millimetres.
    double m_width1 = 0;
    double m_height1 = 0;
    // The upright sheet margins are centred on: A4, or the paper of the job
    // once the printer dialog has settled it.
    QSizeF m_sheetMM;
    QFutureWatcher<bool>* m_job = nullptr;
    // The tiles of a picture too large to be held whole, and the request
    // for the copy it is printed from.
    TileFeed* m_feed = nullptr;
    quint64 m_printTicket = 0;
};

} // namespace lumenta
