#pragma once
// The format conversion window: four pages (GIF to BMP, BMP to GIF, JPEG to
// BMP, BMP to JPEG), each with a source, a proposed destination, a browse
// button and a conversion button; the JPEG compression setting on the last
// page. Conversions run off the GUI thread; the window stays responsive.
#include "app/appcontext.h"
#include "convert/picformat32.h"
#include "dialogs/commondialog.h"

#include <QDialog>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QTabWidget;

namespace lumenta {

class FrmConvertIMG : public QDialog {
    Q_OBJECT
public:
    explicit FrmConvertIMG(AppContext& ctx, QWidget* parent = nullptr);
    ~FrmConvertIMG() override;

    // Controls, named as in the design.
    QTabWidget* SSTab1 = nullptr;
    QLineEdit* Text1 = nullptr; // GIF > BMP: source, destination
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr; // BMP > GIF
    QLineEdit* Text4 = nullptr;
    QLineEdit* Text5 = nullptr; // JPEG > BMP
    QLineEdit* Text6 = nullptr;
    QLineEdit* Text7 = nullptr; // BMP > JPEG
    QLineEdit* Text8 = nullptr;
    QPushButton* Command5 = nullptr; // browse buttons
    QPushButton* Command7 = nullptr;
    QPushButton* Command8 = nullptr;
    QPushButton* Command9 = nullptr;
    QPushButton* Command2 = nullptr; // conversion buttons
    QPushButton* Command1 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command3 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Text9 = nullptr;
    QScrollBar* HScroll1 = nullptr;
    QPushButton* Command10 = nullptr;
    CommonDialog CommonDialog1;
    PicFormat32 PicFormat321;

    // Handlers, by page (0 "Gif > Bmp" to 3 "Bmp > Jpeg"); public so tests
    // drive them as the user would.
    void Browse(int page);
    void Convert(int page);
    void HScroll1_Change();
    void Text9_Edited();
    void Text9_Finished();

    // The compression setting handed to the component.
    int compression() const;
    bool isConverting() const { return PicFormat321.isBusy(); }

protected:
    void reject() override;

private:
    struct Page {
        QLineEdit* source = nullptr;
        QLineEdit* destination = nullptr;
        QPushButton* browse = nullptr;
        QPushButton* convert = nullptr;
        QString dialogTitle;
        QString filter;
        QString extension;    // of the destination, with its dot
        bool enabled = false; // what the last box change said
    };
    void createPage(int index, const QString& title, const QString& sourceLabel,
                    const QString& destinationLabel);
    void boxChanged(int page, const QString& text);
    void updateButtons();
    void converted(const ConversionOutcome& outcome);
    bool confirmFormat(const QString& source, const QString& found, const QString& expected);
    void error(const QString& text);

    AppContext& m_ctx;
    std::array<Page, 4> m_pages;
    bool m_closeWhenDone = false;
    bool m_typing = false; // Text9 moves the scroll bar
};

} // namespace lumenta
