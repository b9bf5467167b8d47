#include "viewer/lumenta.h"

#include "app/module1.h"
#include "system/filelist.h"
#include "widgets/accessiblenames.h"
#include "widgets/browsewidgets.h"
#include "widgets/mmcontrol.h"
#include "widgets/picturewidgets.h"
#include "widgets/twips.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPrinter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

namespace lumenta {

namespace {

QToolButton* pictureButton(QWidget* parent, const char* name, const char* themeIcon,
                           QStyle::StandardPixmap fallback) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setIcon(QIcon::fromTheme(QLatin1String(themeIcon), parent->style()->standardIcon(fallback)));
    b->setIconSize(QSize(24, 24));
    b->setAutoRaise(false);
    return b;
}

} // namespace

Lumenta::Lumenta(AppContext& ctx, QWidget* parent)
    : QMainWindow(parent), CMDialog1(*ctx.dialogs, this), m_ctx(ctx), m_st(ctx.state) {
    setObjectName(QStringLiteral("Lumenta"));
    setWindowTitle(tr("Visionneuse d'images"));
    createControls();
    createMenus();
    wireCommands();
    // A client area of 8580 x 6825 twips below the menu bar.
    resize(twips::toPx(8580), twips::toPx(6825) + menuBar()->sizeHint().height());
}

Lumenta::~Lumenta() = default;

void Lumenta::placeTwips(QWidget* w, double l, double t, double wd, double h) {
    w->setGeometry(twips::rectToPx(l, t, wd, h));
}

void Lumenta::createControls() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("central"));
    setCentralWidget(central);

    auto label = [&](const char* name, const QString& text, double l, double t, double w,
                     double h) {
        auto* lb = new QLabel(text, central);
        lb->setObjectName(QLatin1String(name));
        placeTwips(lb, l, t, w, h);
        return lb;
    };
    Label2 = label("Label2", tr("Lecteur :"), 120, 0, 1935, 255);
    Label3 = label("Label3", tr("Dossier :"), 120, 600, 765, 195);
    Label5 = label("Label5", QString(), 960, 600, 1935, 195);
    Label4 = label("Label4", tr("Sélection :"), 120, 2760, 2175, 255);

    Drive1 = new DriveList(central);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    placeTwips(Drive1, 120, 240, 2775, 315);

    Dir1 = new DirList(central);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    placeTwips(Dir1, 120, 840, 2775, 1890);

    Combo1 = new QComboBox(central);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setEditText(QStringLiteral("*.bmp;*.gif;*.jpg"));
    placeTwips(Combo1, 120, 3000, 2775, 315);

    File1 = new FileList(central);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setPattern(QStringLiteral("*.bmp;*.gif;*.jpg"));
    placeTwips(File1, 120, 3360, 2775, 675);

    Frame1 = new QGroupBox(central);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    placeTwips(Frame1, 120, 4200, 2775, 2535);

    Command6 = pictureButton(Frame1, "Command6", "media-playback-start", QStyle::SP_MediaPlay);
    Command9 = pictureButton(Frame1, "Command9", "view-preview", QStyle::SP_FileDialogContentsView);
    Command5 =
        pictureButton(Frame1, "Command5", "view-list-details", QStyle::SP_FileDialogDetailedView);
    Command8 = pictureButton(Frame1, "Command8", "system-file-manager", QStyle::SP_DirIcon);
    Command2 = pictureButton(Frame1, "Command2", "view-fullscreen", QStyle::SP_TitleBarMaxButton);
    Command7 = pictureButton(Frame1, "Command7", "edit-clear", QStyle::SP_DialogResetButton);
    Command10 = pictureButton(Frame1, "Command10", "document-print", QStyle::SP_FileIcon);
    Command11 = pictureButton(Frame1, "Command11", "document-save-as", QStyle::SP_BrowserReload);
    Command3 = pictureButton(Frame1, "Command3", "help-about", QStyle::SP_MessageBoxInformation);
    Command1 = pictureButton(Frame1, "Command1", "application-exit", QStyle::SP_DialogCloseButton);
    placeTwips(Command6, 240, 240, 495, 495);
    placeTwips(Command9, 840, 240, 495, 495);
    placeTwips(Command5, 1440, 240, 495, 495);
    placeTwips(Command8, 2040, 240, 495, 495);
    placeTwips(Command2, 240, 840, 495, 495);
    placeTwips(Command7, 840, 840, 495, 495);
    placeTwips(Command10, 1440, 840, 495, 495);
    placeTwips(Command11, 2040, 840, 495, 495);
    placeTwips(Command3, 1560, 1680, 495, 495);
    placeTwips(Command1, 2160, 1680, 495, 495);
    Command9->setToolTip(tr("Utilitaire de sélection par vignettes"));
    Command10->setToolTip(tr("Imprimer"));
    Command11->setToolTip(tr("Conversion de format de fichiers image"));
    Command6->hide();
    Command5->setEnabled(false);
    Command2->setEnabled(false);
    Command2->hide();
    Command7->hide();

    Image1 = new StretchImage(Frame1);
    Image1->setObjectName(QStringLiteral("Image1"));
    placeTwips(Image1, 240, 1440, 1215, 975);

    PicFond = new QWidget(central);
    PicFond->setObjectName(QStringLiteral("PicFond"));
    PicFond->setAutoFillBackground(true);
    PicFond->setBackgroundRole(QPalette::Dark);
    placeTwips(PicFond, 3000, 0, 5055, 5535);

    Open = new PictureBox(PicFond);
    Open->setObjectName(QStringLiteral("Open"));
    placeTwips(Open, 0, 0, 1815, 1815);
    connect(Open, &PictureBox::sizeChangedWithScreen, this, [this] { CalculScroll(); });

    VScroll1 = new QScrollBar(Qt::Vertical, central);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    placeTwips(VScroll1, 8160, 0, 255, 5535);
    HScroll1 = new QScrollBar(Qt::Horizontal, central);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    placeTwips(HScroll1, 3000, 5520, 4695, 255);
    for (QScrollBar* bar : {VScroll1, HScroll1}) {
        bar->setMinimum(0);
        bar->setSingleStep(1);
    }
    connect(VScroll1, &QScrollBar::valueChanged, this,
            [this](int v) { Open->move(Open->x(), -twips::toPx(v)); });
    connect(HScroll1, &QScrollBar::valueChanged, this,
            [this](int v) { Open->move(-twips::toPx(v), Open->y()); });

    MMControl1 = new MMControl(central);
    MMControl1->setObjectName(QStringLiteral("MMControl1"));
    connect(MMControl1, &MMControl::done, this, [this](int code) { MMControl1_Done(code); });
    placeTwips(MMControl1, 3360, 5880, 3045, 375);
    MMControl1->hide();

    Command4 = new QPushButton(tr("&Fermer"), central);
    Command4->setObjectName(QStringLiteral("Command4"));
    placeTwips(Command4, 6480, 5880, 855, 375);
    Command4->hide();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);

    // The picture menus, placed in the menu bar with the other commands.
    auto action = [&](const char* name, const QString& text) {
        auto* a = new QAction(text, this);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    Mnu_EnregSous = action("Mnu_EnregSous", tr("Enregistrer Sous"));
    Mnu_Pleinecran = action("Mnu_Pleinecran", tr("&Plein écran"));
    Mnu_EffaceImage = action("Mnu_EffaceImage", tr("&Effacer l'image"));
    Mnu_Diapo = action("Mnu_Diapo", tr("&Diaporama"));
    Mnu_ListeSelect = action("Mnu_ListeSelect", tr("Liste de séléction"));
    Mnu_Pleinecran->setEnabled(false);
    Mnu_EffaceImage->setEnabled(false);
    Mnu_Diapo->setEnabled(false);

    // Wiring of the browsing controls.
    connect(Drive1, &DriveList::driveChanged, this, [this] { Drive1_Change(); });
    connect(Drive1, &QComboBox::highlighted, this,
            [this] { m_st.LastValidDrive = Drive1->drive(); });
    connect(Dir1, &DirList::pathChanged, this, [this] { Dir1_Change(); });
    connect(Combo1, &QComboBox::editTextChanged, this,
            [this](const QString& t) { Combo1_Change(t); });
    connect(Combo1, &QComboBox::activated, this,
            [this](int i) { Combo1_Change(Combo1->itemText(i)); });
    connect(Combo1->lineEdit(), &QLineEdit::editingFinished, this, [this] { Combo1_Commit(); });
    connect(File1, &FileList::fileClicked, this, [this](const QString& n) { File1_Click(n); });
    connect(File1, &FileList::listed, this, [this] { File1_Listed(); });
    connect(File1, &FileList::listingChanged, this, [this] {
        updateBusyPointer();
        if (!File1->isListing() && std::exchange(m_slideshowWhenListed, false))
            QTimer::singleShot(0, this,
                               [this] { m_windows.open(SecondaryWindow::SlideshowSettings); });
    });
    connect(Dir1, &DirList::listingChanged, this, [this] { updateBusyPointer(); });
    connect(Image1, &StretchImage::doubleClicked, this, [this] { Image1_DblClick(); });
    connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
    connect(&m_ctx.pictures(), &PictureService::rowsReady, this, &Lumenta::pictureRowsReady);
    connect(&m_ctx.pictures(), &PictureService::finished, this, &Lumenta::pictureLoaded);

    Label2->setBuddy(Drive1);
    Label3->setBuddy(Dir1);
    Label4->setBuddy(Combo1);

    // Nothing shows a picture yet.
    hidePictureControls();
    Image1->hide();
}

void Lumenta::startUp() {
    m_st.LastValidDrive = Drive1->drive();
    const QString app = m_st.AppFolder;
    const Settings& s = m_st.settings;
    if (s.KeepSearchFolder != 1 || !QFileInfo(s.SearchFolder).isDir()) {
        // A folder to restore that is gone leaves the lists on the
        // program's folder.
        if (Dir1->path() != app)
            Dir1->setPath(app);
        Drive1->setDrive(app);
    } else {
        Drive1->setDrive(s.SearchFolder);
        Dir1->setPath(s.SearchFolder);
    }
    // Listed once: by the folder change, or here when the folder stayed.
    if (File1->path() != Dir1->path())
        File1->setPath(Dir1->path());
    updateFileCount();

    File1->setToolTip(tr("Cliquez sur le nom d'un fichier pour l'exécuter"));
    Command1->setToolTip(tr("Quitte le programme"));
    Command2->setToolTip(tr("Affichage de l'image en plein écran"));
    Command3->setToolTip(tr("A propos"));
    Command5->setToolTip(tr("Lance la liste de sélection pour le diaporama"));
    Command6->setToolTip(tr("Lance le diaporama"));
    Command7->setToolTip(tr("Efface l'image affichée"));
    Command8->setToolTip(tr("Exécute l'utilitaire de gestion des fichiers"));
    Image1->setToolTip(tr("Double clic pour copier l'image"));
    Open->setToolTip(tr("Clic droit pour afficher l'image en plein écran"));
    nameListsAfterTheirLabels(this);

    const QSignalBlocker block(Combo1);
    const QString text = Combo1->currentText();
    Combo1->clear();
    Combo1->addItems({QStringLiteral("*.ico"),
                      QStringLiteral("*.cur"),
                      QStringLiteral("*.bmp"),
                      QStringLiteral("*.gif"),
                      QStringLiteral("*.jpg"),
                      QStringLiteral("*.wmf"),
                      QStringLiteral("*.emf"),
                      QStringLiteral("*.rle"),
                      QStringLiteral("*.*"),
                      QStringLiteral("*.bmp;*.gif;*.jpg"),
                      QStringLiteral("*.bmp;*.gif;*.jpg;*.jpe;*.jpeg;*.jif"),
                      QStringLiteral("*.jpg;*.jpe;*.jpeg"),
                      QStringLiteral("*.jif"),
                      QStringLiteral("*.bmp;*.dib"),
                      QStringLiteral("*.ico;*.cur"),
                      QStringLiteral("*.wmf;*.emf"),
                      QStringLiteral("*.avi"),
                      QStringLiteral("*.wav"),
                      QStringLiteral("*.mid"),
                      QStringLiteral("*.mov"),
                      QStringLiteral("*.mpeg;*.mpg"),
                      QStringLiteral("*.rm;*.ra;*.ram;*.rmm;*.rmd"),
                      QStringLiteral("*.flc"),
                      QStringLiteral("*.fli"),
                      QStringLiteral("*.fli;*.flc"),
                      QStringLiteral("*.pic"),
                      QStringLiteral("*.dib")});
    Combo1->setCurrentIndex(-1);
    Combo1->setEditText(text);
    enforceAvailability();
}

QSizeF Lumenta::outerSizeTwips() const {
    QSize outer = frameGeometry().size();
    if (outer == size()) {
        // No decoration known (offscreen, or before the window manager has
        // framed the window): count a usual frame and title bar.
        outer += QSize(8, 31);
    }
    return QSizeF(twips::fromPx(outer.width()), twips::fromPx(outer.height()));
}

void Lumenta::applyLayout(double W, double H) {
    m_layout = layoutForSize(m_layout, W, H);
    const MainLayout& l = m_layout;
    placeTwips(PicFond, l.picFondLeft, 0, l.picFondWidth, l.picFondHeight);
    placeTwips(VScroll1, l.vScrollLeft, l.vScrollTop, l.vScrollWidth, l.vScrollHeight);
    placeTwips(HScroll1, l.hScrollLeft, l.hScrollTop, l.hScrollWidth, l.hScrollHeight);
    placeTwips(Frame1, 120, l.frameTop, 2775, l.frameHeight);
    placeTwips(File1, 120, 3360, 2775, l.fileHeight);
    CalculScroll();
}

void Lumenta::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    if (isMinimized() || !centralWidget() || centralWidget()->height() == 0)
        return;
    const QSizeF outer = outerSizeTwips();
    applyLayout(outer.width(), outer.height());
}

void Lumenta::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        m_st.LastValidDrive = Drive1->drive();
}

} // namespace lumenta
