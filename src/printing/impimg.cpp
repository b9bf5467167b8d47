#include "printing/impimg.h"

#include "picture/colourtransform.h"
#include "picture/pictureservice.h"
#include "picture/tilefeed.h"
#include "printing/printjob.h"
#include "printing/printlayout.h"
#include "widgets/picturewidgets.h"
#include "widgets/twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QValidator>
#include <QtConcurrent/QtConcurrentRun>

namespace lumenta {

using namespace printlayout;

namespace {

// Viewport of the full-size picture and height of the small view (twips).
constexpr double kPicFondWidth = 5415;
constexpr double kPicFondHeight = 4095;
constexpr double kImage1Height = 1575;

// Lets through only the characters a box accepts, typed or pasted.
class KeyFilter : public QValidator {
public:
    KeyFilter(Box box, QObject* parent) : QValidator(parent), m_box(box) {}
    State validate(QString& input, int&) const override {
        const QLocale locale;
        for (const QChar c : input) {
            if (!acceptsChar(m_box, c, locale))
                return Invalid;
        }
        return Acceptable;
    }

private:
    Box m_box;
};

// A sheet of paper, upright or turned, with a picture on it.
QPixmap orientationIcon(bool landscape) {
    QPixmap pm(40, 40);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF sheet = landscape ? QRectF(3.5, 9.5, 33, 23) : QRectF(8.5, 3.5, 23, 33);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawRect(sheet);
    const QRectF pic = sheet.adjusted(5, 5, -5, -sheet.height() / 2.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x5b, 0x9b, 0xd5));
    p.drawRect(pic);
    p.setBrush(QColor(0x3a, 0x7d, 0x44));
    const QPointF mountain[] = {pic.bottomLeft(), pic.center() + QPointF(-2, 0),
                                pic.bottomRight() - QPointF(pic.width() / 3, 0)};
    p.drawPolygon(mountain, 3);
    return pm;
}

} // namespace

ImpIMG::ImpIMG(AppContext& ctx, QPrinter& printer, QWidget* parent)
    : QDialog(parent), CMDialog1(*ctx.dialogs, this), m_ctx(ctx), m_st(ctx.state),
      m_printer(printer), m_sheetMM(kSheetWidthMM, kSheetHeightMM) {
    setObjectName(QStringLiteral("ImpIMG"));
    setWindowTitle(tr("Impression de l'image"));
    createControls();
    // Loading: the printer's orientation.
    ImageList1 = {orientationIcon(false), orientationIcon(true)};
    showPrinterOrientation();
}

ImpIMG::~ImpIMG() {
    if (m_job)
        m_job->waitForFinished();
}

void ImpIMG::createControls() {
    auto label = [this](const char* name, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    auto box = [this](const char* name, Box kind, QLabel* caption) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setValidator(new KeyFilter(kind, e));
        e->setMaximumWidth(twips::toPx(1200));
        caption->setBuddy(e);
        return e;
    };
    auto frame = [this](const char* name, const QString& title) {
        auto* g = new QGroupBox(title, this);
        g->setObjectName(QLatin1String(name));
        return g;
    };
    auto option = [this](const char* name, const QString& text) {
        auto* o = new QRadioButton(text, this);
        o->setObjectName(QLatin1String(name));
        return o;
    };
    auto button = [this](const char* name, const QString& text, const QString& tip) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(tip);
        b->setAutoDefault(false);
        return b;
    };

    Label1 = label("Label1", QString());
    Label1->setWordWrap(true);

    PicFond = new QWidget(this);
    PicFond->setObjectName(QStringLiteral("PicFond"));
    PicFond->setAutoFillBackground(true);
    PicFond->setBackgroundRole(QPalette::Dark);
    PicFond->setFixedSize(twips::toPx(kPicFondWidth), twips::toPx(kPicFondHeight));
    PicImage = new PictureBox(PicFond);
    PicImage->setObjectName(QStringLiteral("PicImage"));
    VScroll1 = new QScrollBar(Qt::Vertical, this);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    connect(VScroll1, &QScrollBar::valueChanged, this,
            [this](int v) { PicImage->move(PicImage->x(), -twips::toPx(v)); });
    connect(HScroll1, &QScrollBar::valueChanged, this,
            [this](int v) { PicImage->move(-twips::toPx(v), PicImage->y()); });

    Image1 = new StretchImage(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(twips::toPx(kImage1Height), twips::toPx(kImage1Height));

    Frame1 = frame("Frame1", tr("Dimension de l'impression"));
    Option1 = option("Option1", tr("Echelle 1 : 1  (Affichage)"));
    Option2 = option("Option2", tr("Echelle 1 : 2  "));
    Option4 = option("Option4", tr("Echelle 1 : 3  "));
    Option5 = option("Option5", tr("Echelle 1 : 4  "));
    Option3 = option("Option3", tr("Dimensions personnalisées"));
    Frame2 = frame("Frame2", tr("Dimensions personnalisées en mm"));
    Label2 = label("Label2", tr("Largeur en mm :"));
    Text1 = box("Text1", Box::Size, Label2);
    Label3 = label("Label3", tr("Hauteur en mm :"));
    Text2 = box("Text2", Box::Size, Label3);
    Check1 = new QCheckBox(tr("Respecter les proportions (L/H)"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setChecked(true);

    Frame3 = frame("Frame3", tr("Marges d'impression en mm"));
    Label4 = label("Label4", tr("Marge haute de la feuille :"));
    Text3 = box("Text3", Box::Margin, Label4);
    Label5 = label("Label5", tr("Marge gauche de la feuille :"));
    Text4 = box("Text4", Box::Margin, Label5);
    Check2 = new QCheckBox(tr("Centrer l'impression sur feuille A4"), this);
    Check2->setObjectName(QStringLiteral("Check2"));

    Frame5 = frame("Frame5", tr("Largeur/Hauteur de l'image en mm "));
    Label6 = label("Label6", tr("Largeur :"));
    Label8 = label("Label8", QString());
    Label7 = label("Label7", tr("Hauteur :"));
    Label9 = label("Label9", QString());

    Frame6 = frame("Frame6", tr("Orientation"));
    PictureIMP = label("PictureIMP", QString());
    PictureIMP->setFixedSize(40, 40);
    Label11 = label("Label11", QString());
    Command4 = button("Command4", tr("Imprimante en mode Portrait"),
                      tr("Configurer l'imprimante en mode Portrait"));
    Command5 = button("Command5", tr("Imprimante en mode Paysage"),
                      tr("Configurer l'imprimante en mode Paysage"));
    Command1 = button("Command1", tr("&Imprimer"), tr("Imprime l'image en cours"));
    Command2 = button("Command2", tr("&Annuler"), tr("Quitte l'impression"));

    // Layout: the picture on the left, the settings on the right.
    auto* view = new QGridLayout;
    view->setSpacing(0);
    view->addWidget(PicFond, 0, 0);
    view->addWidget(VScroll1, 0, 1);
    view->addWidget(HScroll1, 1, 0);
    auto* left = new QVBoxLayout;
    left->addWidget(Label1);
    left->addLayout(view);
    left->addWidget(Image1);
    left->addStretch();

    auto* sizes = new QGridLayout(Frame2);
    sizes->addWidget(Label2, 0, 0);
    sizes->addWidget(Text1, 0, 1);
    sizes->addWidget(Label3, 1, 0);
    sizes->addWidget(Text2, 1, 1);
    sizes->addWidget(Check1, 2, 0, 1, 2);
    auto* scale = new QVBoxLayout(Frame1);
    for (QWidget* w : {static_cast<QWidget*>(Option1), static_cast<QWidget*>(Option2),
                       static_cast<QWidget*>(Option4), static_cast<QWidget*>(Option5),
                       static_cast<QWidget*>(Option3), static_cast<QWidget*>(Frame2)})
        scale->addWidget(w);

    auto* margins = new QGridLayout(Frame3);
    margins->addWidget(Label4, 0, 0);
    margins->addWidget(Text3, 0, 1);
    margins->addWidget(Label5, 1, 0);
    margins->addWidget(Text4, 1, 1);
    margins->addWidget(Check2, 2, 0, 1, 2);

    auto* printed = new QGridLayout(Frame5);
    printed->addWidget(Label6, 0, 0);
    printed->addWidget(Label8, 0, 1);
    printed->addWidget(Label7, 1, 0);
    printed->addWidget(Label9, 1, 1);
    printed->setColumnStretch(1, 1);

    auto* orientation = new QGridLayout(Frame6);
    orientation->addWidget(PictureIMP, 0, 0, 2, 1);
    orientation->addWidget(Label11, 0, 1, 2, 1);
    orientation->addWidget(Command4, 0, 2);
    orientation->addWidget(Command5, 1, 2);
    orientation->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);

    auto* right = new QVBoxLayout;
    for (QWidget* w : {Frame1, Frame3, Frame5, Frame6})
        right->addWidget(w);
    right->addStretch();
    right->addLayout(buttons);

    auto* top = new QHBoxLayout(this);
    top->addLayout(left);
    top->addLayout(right, 1);

    // Handlers. An option or box set from code runs its handler as a
    // click or a typed change would.
    const QList<std::pair<QRadioButton*, int>> scales = {
        {Option1, 1}, {Option2, 2}, {Option4, 3}, {Option5, 4}};
    for (const auto& [o, k] : scales) {
        connect(o, &QRadioButton::toggled, this, [this, k = k](bool on) {
            if (on)
                ScaleOption(k);
        });
    }
    connect(Option3, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Frame2->show();
    });
    connect(Text1, &QLineEdit::textChanged, this, [this] { Text1_Change(); });
    connect(Text2, &QLineEdit::textChanged, this, [this] { Text2_Change(); });
    connect(Check2, &QCheckBox::toggled, this, [this] { Check2_Click(); });
    connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
    connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { close(); });
    Frame2->hide();
}

void ImpIMG::fill(const QImage& picture, const QString& path, const ColourSpace& colours) {
    m_colours = colours;
    if (m_feed)
        m_feed->setPicture(QString(), Picture());
    PicImage->setImage(picture);
    Image1->setImage(picture);
    layOut(path);
}

void ImpIMG::fillTiled(const Picture& picture, const QImage& overview, const QString& path) {
    // Printed from a copy the service decodes in sRGB.
    m_colours = ColourSpace();
    if (!m_feed)
        m_feed = new TileFeed(m_ctx.pictures(), this);
    m_feed->setPicture(path, picture);
    m_feed->setOverview(overview);
    PicImage->setFeed(m_feed);
    Image1->setImage(overview);
    layOut(path);
}

void ImpIMG::layOut(const QString& path) {
    m_path = path;
    PicImage->move(0, 0);

    const double w = twips::fromPx(PicImage->width());
    const double h = twips::fromPx(PicImage->height());
    if (const auto width = thumbnailWidth(twips::fromPx(Image1->height()), h > 0 ? w / h : 0))
        Image1->setFixedWidth(twips::toPx(*width));

    // Scroll bars over the full-size picture.
    const auto bar = [](QScrollBar* s, double view, double pic) {
        const int max = static_cast<int>(std::abs(roundHalfEven(view - pic)));
        s->setRange(0, max);
        s->setPageStep(std::max(1, max / 5));
        s->setSingleStep(std::max(1, max / 50));
        s->setValue(0);
    };
    bar(VScroll1, twips::fromPx(PicFond->height()), h);
    bar(HScroll1, twips::fromPx(PicFond->width()), w);

    m_width1 = wholeMM(w);
    m_height1 = wholeMM(h);
    m_st.PictureWidthMM = m_width1;
    m_st.PictureHeightMM = m_height1;
    m_st.PictureAspect = m_height1 != 0 ? static_cast<float>(m_width1 / m_height1) : 0.0f;

    Label1->setText(tr("Confirmer l'impression du fichier ") + QLatin1Char('\n') + path);
    {
        const QSignalBlocker block(Option1);
        Option1->setChecked(true);
    }
    ScaleOption(1);
    setBoxText(Text3, QStringLiteral("0"));
    setBoxText(Text4, QStringLiteral("0"));
}

void ImpIMG::setBoxText(QLineEdit* box, const QString& text) {
    if (box->text() == text)
        Q_EMIT box->textChanged(text);
    else
        box->setText(text);
}

void ImpIMG::ScaleOption(int k) {
    Frame2->hide();
    const SizeMM s =
        scaledSize(twips::fromPx(PicImage->width()), twips::fromPx(PicImage->height()), k);
    m_st.PictureWidthMM = s.width;
    m_st.PictureHeightMM = s.height;
    setBoxText(Text1, formatPlain(s.width));
    setBoxText(Text2, formatPlain(s.height));
    // The boxes' handlers may have adjusted the sizes on the way: the
    // scale's own values hold.
    m_st.PictureWidthMM = s.width;
    m_st.PictureHeightMM = s.height;
    updateSizeLabels();
    if (Check2->isChecked())
        ComputeMargins();
}

void ImpIMG::Text1_Change() {
    const QLocale locale;
    m_st.PictureWidthMM = readNumber(Text1->text(), locale);
    if (Check1->isChecked()) {
        if (const auto h = proportionalHeight(m_st.PictureWidthMM, m_width1, m_height1)) {
            m_st.PictureHeightMM = *h;
            setBoxText(Text2, formatPlain(*h));
        }
    }
    updateSizeLabels();
    if (Check2->isChecked())
        ComputeMargins();
}

void ImpIMG::Text2_Change() {
    m_st.PictureHeightMM = readNumber(Text2->text(), QLocale());
    updateSizeLabels();
    if (Check2->isChecked())
        ComputeMargins();
}

void ImpIMG::updateSizeLabels() {
    const QLocale locale;
    Label8->setText(formatLocal(m_st.PictureWidthMM, locale));
    Label9->setText(formatLocal(m_st.PictureHeightMM, locale));
}

void ImpIMG::ComputeMargins() {
    const QLocale locale;
    const auto orientation =
        OrImp::PrinterOrientation(m_printer) == 2 ? Orientation::Landscape : Orientation::Portrait;
    const Margins m = centredMargins(orientation, m_st.PictureWidthMM, m_st.PictureHeightMM,
                                     m_sheetMM.width(), m_sheetMM.height());
    Text3->setText(m.top ? formatLocal(*m.top, locale) : QString());
    Text4->setText(m.left ? formatLocal(*m.left, locale) : QString());
}

void ImpIMG::Check2_Click() {
    if (Check2->isChecked())
        ComputeMargins();
}

void ImpIMG::showPrinterOrientation() {
    const bool landscape = OrImp::PrinterOrientation(m_printer) == 2;
    PictureIMP->setPixmap(ImageList1.value(landscape ? 1 : 0));
    Label11->setText(landscape ? tr("Paysage") : tr("Portrait"));
}

void ImpIMG::Command4_Click() {
    orientationButton(1);
}

void ImpIMG::Command5_Click() {
    orientationButton(2);
}

void ImpIMG::orientationButton(int orientation) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    OrImpResult r =
        orientation == 1 ? m_orImp.SetPortrait(m_printer) : m_orImp.SetLandscape(m_printer);
    if (r == OrImpResult::Ok)
        r = m_orImp.SetPaperDefault(m_printer);
    QApplication::restoreOverrideCursor();
    if (r == OrImpResult::NoPrinter) {
        m_ctx.dlg().message(tr("Aucune imprimante n'est disponible"), tr("Erreur"),
                            MsgIcon::Exclamation, MsgButtons::Ok, this);
        return;
    }
    // A destination that could not be stored leaves the printer as it
    // was; what it says is shown either way.
    showPrinterOrientation();
    if (Check2->isChecked())
        Check2_Click();
}

bool ImpIMG::isPrinting() const {
    return m_job != nullptr || m_printTicket != 0;
}

void ImpIMG::Command1_Click() {
    if (isPrinting())
        return;
    const auto noPrinter = [this] {
        m_ctx.dlg().message(tr("Aucune imprimante n'est disponible"), tr("Erreur"),
                            MsgIcon::Exclamation, MsgButtons::Ok, this);
    };
    // A printer object writing to a file needs no printer.
    if (m_printer.printerName().isEmpty() && m_printer.outputFileName().isEmpty() &&
        !OrImp::SelectPrinter(m_printer))
        return noPrinter();
    // The job starts on the paper the layout is made for.
    m_printer.setPageSize(QPageSize(QPageSize::A4));
    const QPageSize laidOut = m_printer.pageLayout().pageSize();
    CMDialog1.CancelError = true;
    try {
        CMDialog1.ShowPrinter(m_printer);
    } catch (const DialogCancelled&) {
        CMDialog1.CancelError = false;
        return;
    } catch (const PrinterUnavailable&) {
        CMDialog1.CancelError = false;
        return noPrinter();
    }
    CMDialog1.CancelError = false;

    // The dialog proposes the queue's own paper, which would put the picture
    // off-centre: the job keeps the layout's paper unless the user picked
    // another one, and the centring then follows that paper.
    m_printer.setPageSize(
        jobPaper(laidOut, proposedPaper(m_printer, laidOut), m_printer.pageLayout().pageSize()));
    const QSizeF paper = m_printer.pageLayout().pageSize().size(QPageSize::Millimeter);
    if (!paper.isEmpty())
        m_sheetMM = paper;
    if (Check2->isChecked())
        ComputeMargins();

    const QLocale locale;
    const QRectF mm(readNumber(Text4->text(), locale), readNumber(Text3->text(), locale),
                    m_st.PictureWidthMM, m_st.PictureHeightMM);
    m_printer.setDocName(QFileInfo(m_path).fileName());
    QApplication::setOverrideCursor(Qt::WaitCursor);
    setEnabled(false);
    if (!PicImage->isTiled())
        return startJob(PicImage->image(), mm, true);
    // A picture too large to be held whole is printed from a copy at the
    // printer's dots, decoded on the service's workers meanwhile.
    const QSize pixels = printPixels(m_feed->naturalSize(), mm.size(), m_printer.resolution());
    m_printTicket = m_ctx.pictures().request(this, PictureRequest::fitted(m_path, pixels).inSrgb(),
                                             [this, mm](const PictureResult& r) {
                                                 m_printTicket = 0;
                                                 startJob(r.picture.image, mm, r.ok());
                                             });
}

void ImpIMG::startJob(const QImage& picture, const QRectF& mm, bool decoded) {
    m_job = new QFutureWatcher<bool>(this);
    connect(m_job, &QFutureWatcher<bool>::finished, this, [this] { printFinished(); });
    m_job->setFuture(
        QtConcurrent::run([printer = &m_printer, picture, colours = m_colours, mm, decoded] {
            return decoded && printPicture(*printer, toSrgb(picture, colours), mm);
        }));
}

void ImpIMG::printFinished() {
    const bool ok = m_job->result();
    m_job->deleteLater();
    m_job = nullptr;
    QApplication::restoreOverrideCursor();
    setEnabled(true);
    if (!ok)
        m_ctx.dlg().message(tr("Erreur sur l'imprimante"), tr("Erreur"), MsgIcon::Stop,
                            MsgButtons::Ok, this);
    accept();
}

void ImpIMG::reject() {
    if (!isPrinting())
        QDialog::reject();
}

void ImpIMG::closeEvent(QCloseEvent* e) {
    if (isPrinting()) {
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

} // namespace lumenta
