// The browser window: its controls, start-up, the two modes, full screen
// and closing.
#include "browser/frmpicviewer.h"

#include "app/module1.h"
#include "app/version.h"
#include "browser/thumbnailloader.h"
#include "browser/thumbnailsurface.h"
#include "fullscreen/frmplecr.h"
#include "picture/pictureservice.h"
#include "widgets/accessiblenames.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QToolButton>
#include <cmath>

namespace lumenta {

namespace {

// The window's client area and its three columns, in pixels.
constexpr int kWidth = 1000;
constexpr int kHeight = 640;
constexpr int kListsLeft = 8, kListsWidth = 210;
constexpr int kPanelLeft = 226, kPanelTop = 56, kPanelWidth = 312, kPanelHeight = 470;
constexpr int kViewLeft = 548, kViewTop = 56, kViewSide = 420;

QToolButton* bitmapButton(QWidget* parent, const char* name, const char* themeIcon,
                          QStyle::StandardPixmap fallback, const QString& hint) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setIcon(QIcon::fromTheme(QLatin1String(themeIcon), parent->style()->standardIcon(fallback)));
    b->setIconSize(QSize(20, 20));
    b->setToolTip(hint);
    return b;
}

template <typename W> W* named(W* w, const char* name, const QRect& geometry) {
    w->setObjectName(QLatin1String(name));
    w->setGeometry(geometry);
    return w;
}

} // namespace

FrmPicViewer::FrmPicViewer(AppContext& ctx, const QString& folder, QWidget* parent)
    : QDialog(parent), CommonDialog1(*ctx.dialogs, this), m_ctx(ctx) {
    setObjectName(QStringLiteral("frmPicViewer"));
    setWindowTitle(tr("Affichage par vignettes"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    resize(kWidth, kHeight);
    setMinimumSize(kWidth, kHeight);
    m_pool.setMaxThreadCount(2);
    m_thumbnails = new ThumbnailLoader(ctx, ThumbnailCache(), this);
    createControls();
    nameListsAfterTheirLabels(this);
    wire();
    startUp(folder);
}

FrmPicViewer::~FrmPicViewer() {
    // Work under way stops at its next file; none of it outlives the window.
    if (m_listingCancel)
        m_listingCancel->store(true);
    cancelTableBuild();
    m_pool.clear();
    m_pool.waitForDone();
}

FrmPicViewer* FrmPicViewer::open(AppContext& ctx, const QString& folder, QWidget* parent) {
    if (auto* shown = parent
                          ? parent->findChild<FrmPicViewer*>(QString(), Qt::FindDirectChildrenOnly)
                          : nullptr) {
        shown->raise();
        shown->activateWindow();
        return shown;
    }
    auto* w = new FrmPicViewer(ctx, folder, parent);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->setWindowModality(Qt::ApplicationModal);
    CentreForm(w);
    w->show();
    return w;
}

void FrmPicViewer::updateBusyCursor() {
    if (m_listing || m_buildingTable || m_viewLoading || searchRunning())
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void FrmPicViewer::setThumbnailCacheRoot(const QString& root) {
    m_cacheRoot = root;
    delete m_thumbnails;
    m_thumbnails = new ThumbnailLoader(m_ctx, ThumbnailCache(root), this);
    connect(m_thumbnails, &ThumbnailLoader::ready, this,
            [this](int i, const QImage& img) { thumbnailReady(i, img); });
}

bool FrmPicViewer::isIdle() const {
    return !m_listing && !DirList->isListing() && !m_buildingTable && !m_viewLoading &&
           m_nextToDraw >= LotPicCount && !m_thumbnails->writing();
}

void FrmPicViewer::createControls() {
    const int left = kListsLeft, w = kListsWidth;
    drvList = named(new DriveList(this), "drvList", QRect(left, 8, w, 26));
    drvList->setToolTip(tr("Choix du lecteur"));
    DirList = named(new lumenta::DirList(this), "DirList", QRect(left, 40, w, 250));
    DirList->setToolTip(tr("Dossiers : double clic ou Entrée pour ouvrir"));
    cboPattern = named(new QComboBox(this), "cboPattern", QRect(left, 298, w, 26));
    cboPattern->setToolTip(tr("Filtre de sélection des images"));
    FilList = named(new FileList(this), "FilList", QRect(left, 330, w, 270));
    FilList->setUniformItemSizes(true);
    FilList->setToolTip(tr("Fichiers du dossier : clic pour voir l'image"));
    lblFilesCount = named(new QLabel(this), "lblFilesCount", QRect(left, 606, w, 22));

    optMode[0] = named(new QRadioButton(tr("Images dans le dossier en cours"), this), "optMode_0",
                       QRect(kPanelLeft, 6, kPanelWidth, 22));
    optMode[0]->setToolTip(
        tr("Affiche toutes les images sous orme de vignettes contenues dans le dossier en cours"));
    optMode[1] = named(new QRadioButton(tr("Rechercher dans tous les sous dossiers"), this),
                       "optMode_1", QRect(kPanelLeft, 28, kPanelWidth, 22));
    optMode[1]->setToolTip(tr("Liste de toutes les images dans les sous dossiers"));
    optMode[0]->setChecked(true);

    createPanel();
    createSearchPanel();
    createViewArea();
    createViewButtons();
    createLargeView();

    // Work surfaces of the pictures, never shown.
    picTemp = named(new PictureBox(this), "picTemp", QRect(0, 0, 32, 32));
    picAuto = named(new PictureBox(this), "picAuto", QRect(0, 0, 0, 0));
    picCopy = named(new PictureBox(this), "picCopy", QRect(0, 0, 0, 0));
    picViewTemp = named(new PictureBox(this), "picViewTemp", QRect(0, 0, 0, 0));
    for (QWidget* hidden : {picTemp, picAuto, picCopy, picViewTemp})
        hidden->hide();
    FileDialog = &CommonDialog1;
    createMenus();
}

void FrmPicViewer::createPanel() {
    fraImagesPanel =
        named(new QGroupBox(tr("Liste d' images dans le dossier"), this), "fraImagesPanel",
              QRect(kPanelLeft, kPanelTop, kPanelWidth, kPanelHeight));
    QWidget* f = fraImagesPanel;
    lblImagesPanelDir = named(new QLabel(f), "lblImagesPanelDir", QRect(8, 22, 296, 18));

    picListZ =
        named(new QWidget(f), "picListZ", QRect(8, 44, panel::kSurfaceWidth, panel::kPageHeight));
    picListZ->setAutoFillBackground(true);
    picListZ->setBackgroundRole(QPalette::Base);
    picListX = named(new ThumbnailSurface(picListZ), "picListX",
                     QRect(0, 0, panel::kSurfaceWidth, panel::kSurfaceHeight));
    picListX->setToolTip(tr("Clic : choix de l'image"));
    VsbPicList = named(new QScrollBar(Qt::Vertical, f), "VsbPicList",
                       QRect(8 + panel::kSurfaceWidth, 44, 16, panel::kPageHeight));

    piccmdPanelRefContainer = named(new QWidget(f), "piccmdPanelRefContainer",
                                    QRect(8, 300, panel::kSurfaceWidth + 16, 28));
    for (int p = 0; p < panel::kPages; ++p) {
        auto* b = new QToolButton(piccmdPanelRefContainer);
        b->setObjectName(QStringLiteral("cmdPanelRef_%1").arg(p));
        b->setText(QString::number(p + 1));
        b->setToolTip(tr("Page %1 du lot").arg(p + 1));
        b->setGeometry(p * 72, 0, 68, 26);
        cmdPanelRef[p] = b;
    }

    picImagesInDirContainer =
        named(new QWidget(f), "picImagesInDirContainer", QRect(8, 334, 296, 32));
    QWidget* c = picImagesInDirContainer;
    lblLotRef = named(new QLabel(tr("Lot:"), c), "lblLotRef", QRect(0, 4, 30, 22));
    cboPicListLot = named(new QComboBox(c), "cboPicListLot", QRect(32, 2, 76, 26));
    cboPicListLot->setToolTip(tr("Selection du numéro de lot"));
    picAutoImagesContainer = named(new QWidget(c), "picAutoImagesContainer", QRect(124, 0, 30, 30));
    cmdAutoImagesOn = bitmapButton(picAutoImagesContainer, "cmdAutoImagesOn", "view-preview",
                                   QStyle::SP_DialogYesButton, tr("Vignettes on/off. ON"));
    cmdAutoImagesOff = bitmapButton(picAutoImagesContainer, "cmdAutoImagesOff", "view-preview",
                                    QStyle::SP_DialogNoButton,
                                    tr("Toggle auto images on/off.  Current status is Off"));
    for (QToolButton* b : {cmdAutoImagesOn, cmdAutoImagesOff})
        b->setGeometry(0, 0, 30, 30);
    cmdAutoImagesOff->hide();
    cmdListImages = bitmapButton(c, "cmdListImages", "view-refresh", QStyle::SP_BrowserReload,
                                 tr("Rafraîchir"));
    cmdListImages->setGeometry(160, 0, 30, 30);
    Command1 = bitmapButton(c, "Command1", "window-close", QStyle::SP_DialogCloseButton,
                            tr("Quitter l'affichage par vignettes"));
    Command1->setGeometry(266, 0, 30, 30);

    lblPicsOnPanel =
        named(new QLabel(tr("Images dans le lot :"), f), "lblPicsOnPanel", QRect(8, 372, 296, 20));
    lblPicsCount = named(new QLabel(tr("Nombre d'images dans le dossier :"), f), "lblPicsCount",
                         QRect(8, 394, 296, 20));
    picProgressContainer = named(new QWidget(f), "picProgressContainer", QRect(8, 420, 288, 22));
    picProgress = named(new QWidget(picProgressContainer), "picProgress", QRect(0, 0, 0, 22));
}

void FrmPicViewer::createSearchPanel() {
    fraSearch = named(new QGroupBox(tr("Liste d'image trouvée dans les sous dossiers"), this),
                      "fraSearch", QRect(kPanelLeft, kPanelTop, kPanelWidth, kPanelHeight));
    QWidget* f = fraSearch;
    lblSearchPanelDir = named(new QLabel(f), "lblSearchPanelDir", QRect(8, 22, 296, 18));
    lisFilesFound = named(new QListWidget(f), "lisFilesFound", QRect(8, 44, 296, 300));
    lblFoundNum = named(new QLabel(f), "lblFoundNum", QRect(8, 348, 296, 20));
    cboSearchPattern = named(new QComboBox(f), "cboSearchPattern", QRect(8, 372, 110, 26));
    lblSearchInProgress = named(new QLabel(tr("Search in progress ........"), f),
                                "lblSearchInProgress", QRect(8, 404, 250, 20));
    Command2 = bitmapButton(f, "Command2", "window-close", QStyle::SP_DialogCloseButton,
                            tr("Quitter l'affichage par vignettes"));
    Command2->setGeometry(274, 372, 30, 30);
    createSearchControls();
    fraSearch->hide();
}

void FrmPicViewer::createViewArea() {
    picViewZ =
        named(new QWidget(this), "picViewZ", QRect(kViewLeft, kViewTop, kViewSide, kViewSide));
    picViewZ->setAutoFillBackground(true);
    picViewZ->setBackgroundRole(QPalette::Dark);
    picViewX = named(new PictureBox(picViewZ), "picViewX", QRect(0, 0, kViewSide, kViewSide));
    picViewX->setToolTip(tr("Double clic : Plein écran"));
    VsbView = named(new QScrollBar(Qt::Vertical, this), "VsbView",
                    QRect(kViewLeft + kViewSide, kViewTop, 16, kViewSide));
    HsbView = named(new QScrollBar(Qt::Horizontal, this), "HsbView",
                    QRect(kViewLeft, kViewTop + kViewSide, kViewSide, 16));
    Command4 = bitmapButton(this, "Command4", "view-fullscreen", QStyle::SP_TitleBarMaxButton,
                            tr("Voir plein écran"));
    Command4->setGeometry(kViewLeft, kViewTop + kViewSide + 24, 30, 30);
}

void FrmPicViewer::wire() {
    connect(drvList, &DriveList::driveChanged, this, [this] { drvList_Change(); });
    connect(DirList, &DirList::pathChanged, this, [this] { DirList_Change(); });
    DirList->installEventFilter(this);
    connect(cboPattern, &QComboBox::activated, this,
            [this](int i) { cboPattern_Click(cboPattern->itemText(i)); });
    connect(FilList, &FileList::fileClicked, this, [this](const QString& n) { FilList_Click(n); });
    for (int i = 0; i < 2; ++i)
        connect(optMode[i], &QRadioButton::clicked, this, [this, i] { optMode_Click(i); });
    connect(Command1, &QToolButton::clicked, this, &QWidget::close);
    connect(Command2, &QToolButton::clicked, this, &QWidget::close);
    connect(Command4, &QToolButton::clicked, this, [this] { Command4_Click(); });
    connect(picViewX, &PictureBox::doubleClicked, this, [this] { Command4_Click(); });

    connect(picListX, &ThumbnailSurface::pressed, this,
            [this](QPointF at, Qt::MouseButton b) { picListX_MouseDown(at, b); });
    connect(picListX, &ThumbnailSurface::wheelTurned, this, [this](int delta) {
        VsbPicList->setValue(VsbPicList->value() - delta / 120 * panel::kCellHeight / 2);
    });
    connect(VsbPicList, &QScrollBar::valueChanged, this, [this](int v) { picListX->move(0, -v); });
    for (int p = 0; p < panel::kPages; ++p)
        connect(cmdPanelRef[p], &QToolButton::clicked, this, [this, p] { cmdPanelRef_Click(p); });
    connect(cboPicListLot, &QComboBox::activated, this, [this] { cboPicListLot_Click(); });
    connect(cmdListImages, &QToolButton::clicked, this, [this] { cmdListImages_Click(); });
    connect(cmdAutoImagesOn, &QToolButton::clicked, this, [this] { cmdAutoImagesOn_Click(); });
    connect(cmdAutoImagesOff, &QToolButton::clicked, this, [this] { cmdAutoImagesOff_Click(); });
    connect(m_thumbnails, &ThumbnailLoader::ready, this,
            [this](int i, const QImage& img) { thumbnailReady(i, img); });

    connect(HsbView, &QScrollBar::valueChanged, this,
            [this](int v) { picViewX->move(-v, picViewX->y()); });
    connect(VsbView, &QScrollBar::valueChanged, this,
            [this](int v) { picViewX->move(picViewX->x(), -v); });
    wireView();
}

void FrmPicViewer::startUp(const QString& folder) {
    InternalChange = true;
    picTemp->setFixedSize(panel::kThumbSide, panel::kThumbSide);
    picViewX->move(0, 0);

    VsbPicList->setRange(0, panel::kScrollMax);
    VsbPicList->setSingleStep(1);
    VsbPicList->setPageStep(panel::kCellHeight);

    const QStringList patterns = {QStringLiteral("*.bmp"),  QStringLiteral("*.gif"),
                                  QStringLiteral("*.jpeg"), QStringLiteral("*.jpg"),
                                  QStringLiteral("*.jif"),  QStringLiteral("*.ico"),
                                  QStringLiteral("*.cur"),  QStringLiteral("*.wmf"),
                                  QStringLiteral("*.emf"),  QStringLiteral("*.*")};
    cboPattern->addItems(patterns);
    cboSearchPattern->addItems(patterns);
    cboPattern->setCurrentIndex(0);
    cboSearchPattern->setCurrentIndex(0);

    // In device pixels, as the pictures are shown.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal ratio = screen ? screen->devicePixelRatio() : 1.0;
    ScreenWidthPx = screen ? std::lround(screen->size().width() * ratio) : 0;
    ScreenHeightPx = screen ? std::lround(screen->size().height() * ratio) : 0;

    lblSearchInProgress->hide();
    StopRequested = false;
    ForceRebuild = false;
    ShownPicPath.clear();
    ClearPicList();
    ClearFoundList();
    LastListedPath.clear();
    LastListedPattern.clear();

    cmdAutoImagesOn->show();
    cmdListImages->setEnabled(false);
    picProgressContainer->hide();

    {
        const QSignalBlocker quietDirs(DirList);
        const QSignalBlocker quietDrives(drvList);
        if (!DirList->setPath(folder))
            DirList->setPath(QDir::homePath());
        drvList->setDrive(DirList->path());
    }
    showFolderLabels();
    ClearPicView();
    relist(cboPattern->currentText(), [this] { LoadPicList(); });
    InternalChange = false;
}

void FrmPicViewer::ErrMsgProc(const QString& text, int number, const QString& description) {
    m_ctx.dlg().message(text + QLatin1Char('\n') + QString::number(number) +
                            QStringLiteral("     ") + description,
                        applicationTitle(), MsgIcon::None, MsgButtons::Ok, this);
}

bool FrmPicViewer::folderMode() const {
    return optMode[0]->isChecked();
}

bool FrmPicViewer::searchRunning() const {
    return !lblSearchInProgress->isHidden();
}

void FrmPicViewer::optMode_Click(int index) {
    if (index == 0 && searchRunning())
        cmdStopSearch_Click();
    optMode[index]->setChecked(true);
    if (index == 1) {
        fraImagesPanel->hide();
        fraSearch->show();
        ClearPicView();
        ClearPicList();
        relist(FilList->pattern());
        return;
    }
    fraImagesPanel->show();
    fraSearch->hide();
    ClearPicView();
    relist(FilList->pattern(), [this] {
        if (!autoImagesOn())
            return;
        ForceRebuild = true;
        LoadPicList();
        ForceRebuild = false;
    });
}

void FrmPicViewer::ClearFoundList() {
    lisFilesFound->clear();
    lblFoundNum->clear();
}

void FrmPicViewer::Command4_Click() {
    QString path;
    if (folderMode()) {
        if (!FilList->fileName().isEmpty())
            path = prefix() + FilList->fileName();
    } else if (const QListWidgetItem* item = lisFilesFound->currentItem()) {
        path = item->text();
    }
    if (path.isEmpty() || !FileExists(path)) {
        m_ctx.dlg().message(tr("Format d'image non supporté"), tr("Erreur"), MsgIcon::Stop,
                            MsgButtons::Ok, this);
        return;
    }
    m_ctx.state.FullScreenFilePath = path;
    // The picture already decoded for the viewing area is handed over.
    FrmPlEcr::showPicture(m_ctx, this, path == ShownPicPath ? m_shownImage : QImage());
}

void FrmPicViewer::closeEvent(QCloseEvent* e) {
    if (searchRunning())
        cmdStopSearch_Click();
    if (m_listingCancel)
        m_listingCancel->store(true);
    cancelTableBuild();
    m_thumbnails->cancel();
    ++m_viewGeneration;
    m_ctx.pictures().cancel(m_viewTicket);
    e->accept();
}

void FrmPicViewer::reject() {
    // Escape leaves the enlarged view first, then closes the window as the
    // close buttons do.
    if (largeViewShown())
        return cmdViewLargeExit_Click();
    close();
}

void FrmPicViewer::keyPressEvent(QKeyEvent* e) {
    // The arrows move the selection on the panel while it has the focus.
    if (picListX->hasFocus() && folderMode()) {
        switch (e->key()) {
        case Qt::Key_Left:
            return moveSelection(-1, 0);
        case Qt::Key_Right:
            return moveSelection(1, 0);
        case Qt::Key_Up:
            return moveSelection(0, -1);
        case Qt::Key_Down:
            return moveSelection(0, 1);
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (SelCell > 0)
                return Command4_Click();
            break;
        default:
            break;
        }
    }
    QDialog::keyPressEvent(e);
}

} // namespace lumenta
