#include "slideshow/frmliste.h"

#include "app/module1.h"
#include "dialogs/commondialog.h"
#include "fullscreen/frmplecr.h"
#include "picture/pictureservice.h"
#include "slideshow/selection.h"
#include "slideshow/vsifile.h"
#include "widgets/accessiblenames.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace lumenta {

namespace {

// The selection list box: takes the entries dragged from one file list.
class DropList : public QListWidget {
public:
    DropList(QWidget* source, std::function<void()> onDrop, QWidget* parent)
        : QListWidget(parent), m_source(source), m_onDrop(std::move(onDrop)) {
        setAcceptDrops(true);
        setDragDropMode(QAbstractItemView::DropOnly);
    }

protected:
    void dragEnterEvent(QDragEnterEvent* e) override {
        if (e->source() == m_source)
            e->acceptProposedAction();
        else
            e->ignore();
    }
    void dragMoveEvent(QDragMoveEvent* e) override {
        if (e->source() == m_source)
            e->acceptProposedAction();
        else
            e->ignore();
    }
    void dropEvent(QDropEvent* e) override {
        if (e->source() != m_source) {
            e->ignore();
            return;
        }
        // A copy: the file list keeps its entry.
        e->setDropAction(Qt::CopyAction);
        e->accept();
        m_onDrop();
    }

private:
    QWidget* m_source;
    std::function<void()> m_onDrop;
};

} // namespace

FrmListe::FrmListe(AppContext& ctx, const SlideshowHost& host, QWidget* parent)
    : QDialog(parent), m_ctx(ctx), m_host(host) {
    setObjectName(QStringLiteral("FrmListe"));
    setWindowTitle(tr("Liste de sélection des images pour le diaporama avec liste"));
    createControls();
    nameListsAfterTheirLabels(this);
    createMenu();
    wire();
    // The main window's lines at once; the folder is read again meanwhile
    // (off the GUI thread), the lines kept until the new ones come.
    File1->setListing(m_host.folder(), m_host.pattern(), m_host.names());
    File1->refresh();
    fillFromSelection();
}

FrmListe::~FrmListe() = default;

void FrmListe::createControls() {
    auto button = [this](const char* name, const QString& text, const QString& tip) {
        auto* b = new QPushButton(text, Frame3);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(tip);
        b->setAutoDefault(false);
        return b;
    };

    Frame2 = new QGroupBox(tr("Liste des fichiers"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    File1 = new FileList(Frame2);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setToolTip(tr("Double clic pour ajouter l'image dans la liste"));
    File1->setDragEnabled(true);
    File1->setDragDropMode(QAbstractItemView::DragOnly);
    File1->setDefaultDropAction(Qt::CopyAction);
    (new QVBoxLayout(Frame2))->addWidget(File1);

    Frame1 = new QGroupBox(tr("Liste de sélection des images pour le diaporama"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    ListeImg = new DropList(
        File1, [this] { File1_Dropped(); }, Frame1);
    ListeImg->setObjectName(QStringLiteral("ListeImg"));
    ListeImg->setToolTip(tr("Double clic pour supprimer l'image de la liste"));
    (new QVBoxLayout(Frame1))->addWidget(ListeImg);

    Image1 = new StretchImage(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setToolTip(tr("Double clic droit pour visualiser l'image en plein écran"));
    Image1->setFixedSize(kPreviewHeight, kPreviewHeight);
    Image1->installEventFilter(this);
    Image1->hide();

    Frame3 = new QGroupBox(this);
    Frame3->setObjectName(QStringLiteral("Frame3"));
    Command1 =
        button("Command1", tr("&Ajouter"), tr("Ajoute le fichier à la liste pour le diaporama"));
    Command2 =
        button("Command2", tr("&Supprimer"), tr("Supprime le fichier sélectionné de la liste"));
    Command3 = button("Command3", tr("&Tout sélectionner"),
                      tr("Ajoute tous les fichiers à la liste pour le diaporama"));
    Command4 = button("Command4", tr("Tout &désélectionner"),
                      tr("Supprime tous les fichiers sélectionnés de la liste"));
    Command5 =
        button("Command5", tr("&Valider la liste"), tr("Quitte et valide la liste de sélection"));
    Command6 = button("Command6", tr("&Annuler"), tr("Quitte sans valider la liste de sélection"));
    Command1->setEnabled(false);
    Command2->setEnabled(false);
    auto* buttons = new QVBoxLayout(Frame3);
    for (QPushButton* b : {Command1, Command2, Command3, Command4})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(Command5);
    buttons->addWidget(Command6);

    auto* lists = new QHBoxLayout;
    lists->addWidget(Frame2, 1);
    lists->addWidget(Frame3);
    lists->addWidget(Frame1, 2);
    auto* preview = new QHBoxLayout;
    preview->addStretch();
    preview->addWidget(Image1);
    preview->addStretch();
    auto* previewArea = new QWidget(this);
    previewArea->setFixedHeight(kPreviewHeight + 8);
    previewArea->setLayout(preview);
    Image1->setParent(previewArea);
    auto* all = new QVBoxLayout(this);
    all->addLayout(lists, 1);
    all->addWidget(previewArea);
    resize(760, 520);
}

void FrmListe::createMenu() {
    menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    layout()->setMenuBar(menuBar);
    Mnu_Fichier = menuBar->addMenu(tr("&Fichier"));
    Mnu_Fichier->setObjectName(QStringLiteral("Mnu_Fichier"));
    auto item = [this](const char* name, const QString& text) {
        QAction* a = Mnu_Fichier->addAction(text);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    Mnu_OuvreListe = item("Mnu_OuvreListe", tr("&Ouvrir une liste d'images"));
    Mnu_EnregListe = item("Mnu_EnregListe", tr("&Enregistrer la liste d'images"));
    sep1 = Mnu_Fichier->addSeparator();
    sep1->setObjectName(QStringLiteral("sep1"));
    Mnu_Valide = item("Mnu_Valide", tr("Fermer et &Valider la liste"));
    Mnu_FermeListe = item("Mnu_FermeListe", tr("&Fermer sans valider"));
    Mnu_Fichier_Open();
}

void FrmListe::wire() {
    connect(File1, &FileList::fileClicked, this, &FrmListe::File1_Click);
    connect(File1, &FileList::doubleClicked, this, [this] { File1_DblClick(); });
    connect(ListeImg, &QListWidget::itemClicked, this, [this] { ListeImg_Click(); });
    connect(ListeImg, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && ListeImg->hasFocus())
            ListeImg_Click();
    });
    connect(ListeImg, &QListWidget::itemDoubleClicked, this, [this] { ListeImg_DblClick(); });
    connect(Image1, &StretchImage::doubleClicked, this, [this] { Image1_DblClick(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
    connect(Command5, &QPushButton::clicked, this, [this] {
        ValideLst();
        accept();
    });
    connect(Command6, &QPushButton::clicked, this, &QDialog::reject);
    connect(Mnu_Fichier, &QMenu::aboutToShow, this, [this] { Mnu_Fichier_Open(); });
    connect(Mnu_OuvreListe, &QAction::triggered, this, [this] { Mnu_OuvreListe_Click(); });
    connect(Mnu_EnregListe, &QAction::triggered, this, [this] { Mnu_EnregListe_Click(); });
    connect(Mnu_Valide, &QAction::triggered, this, [this] {
        ValideLst();
        accept();
    });
    connect(Mnu_FermeListe, &QAction::triggered, this, &QDialog::reject);
}

QStringList FrmListe::listItems() const {
    QStringList out;
    for (int i = 0; i < ListeImg->count(); ++i)
        out << ListeImg->item(i)->text();
    return out;
}

void FrmListe::fillFromSelection() {
    const QStringList entries = selectionEntries(m_ctx.state);
    if (entries == listItems())
        return; // unchanged: the selection in the box stays
    ListeImg->clear();
    ListeImg->addItems(entries);
    Command2->setEnabled(false);
}

bool FrmListe::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate)
        fillFromSelection();
    return QDialog::event(e);
}

bool FrmListe::eventFilter(QObject* watched, QEvent* e) {
    if (watched == Image1 && e->type() == QEvent::MouseButtonPress)
        Command2->setEnabled(false);
    return QDialog::eventFilter(watched, e);
}

void FrmListe::done(int result) {
    if (m_ctx.state.settings.SelectionListValid == 1 && m_host.showSlideshowButton)
        m_host.showSlideshowButton();
    QDialog::done(result);
}

void FrmListe::ValideLst() {
    validateSelection(listItems(), m_ctx.state);
}

void FrmListe::addEntry(const QString& path) {
    if (isListablePath(path))
        ListeImg->addItem(path);
}

void FrmListe::AffichImg(const QString& path) {
    // From the picture service, reduced to the preview's height; a file that
    // is no picture keeps the preview as it was. A newer click supersedes an
    // older one still on its way.
    const QSize box(kPreviewHeight * 8, kPreviewHeight);
    m_ctx.pictures().request(this, PictureRequest::fitted(path, box),
                             [this, path](const PictureResult& r) {
                                 if (r.ok())
                                     showPreview(path, r.picture);
                                 Q_EMIT previewDone(path, r.ok());
                             });
}

void FrmListe::showPreview(const QString& path, const Picture& picture) {
    const QSize natural = picture.naturalSize.isEmpty() ? picture.size() : picture.naturalSize;
    if (natural.isEmpty())
        return;
    const double ratio = double(natural.width()) / natural.height();
    const int maxWidth = std::max(Image1->parentWidget()->width() - 8, 16);
    int w = int(std::lround(kPreviewHeight * ratio));
    int h = kPreviewHeight;
    if (w > maxWidth) {
        w = maxWidth;
        h = std::max(1, int(std::lround(w / ratio)));
    }
    Image1->setFixedSize(std::max(w, 1), h);
    Image1->setImage(picture.image);
    m_previewShown = path;
}

void FrmListe::File1_Click(const QString& name) {
    AppState& st = m_ctx.state;
    Command2->setEnabled(false);
    st.FullScreenFilePath = AddBackslash(File1->path()) + name;
    st.CurrentFileExt = extensionOf(st.FullScreenFilePath);
    Command1->setEnabled(isPictureExtension(st.CurrentFileExt));
    Image1->show();
    AffichImg(st.FullScreenFilePath);
}

void FrmListe::File1_DblClick() {
    Command2->setEnabled(false);
    if (Command1->isEnabled())
        Command1_Click();
}

void FrmListe::File1_Dropped() {
    const QString name = File1->fileName();
    if (name.isEmpty())
        return;
    AppState& st = m_ctx.state;
    Command2->setEnabled(false);
    st.FullScreenFilePath = AddBackslash(File1->path()) + name;
    st.CurrentFileExt = extensionOf(st.FullScreenFilePath);
    Command1->setEnabled(isPictureExtension(st.CurrentFileExt));
    if (Command1->isEnabled())
        Command1_Click();
}

void FrmListe::ListeImg_Click() {
    QListWidgetItem* item = ListeImg->currentItem();
    const bool selected = item && item->isSelected();
    Command2->setEnabled(selected);
    if (!selected)
        return;
    m_ctx.state.FullScreenFilePath = item->text();
    if (m_previewShown != item->text())
        AffichImg(item->text());
}

void FrmListe::ListeImg_DblClick() {
    if (Command2->isEnabled())
        Command2_Click();
}

void FrmListe::Image1_DblClick() {
    Command2->setEnabled(false);
    ValideLst();
    if (m_ctx.state.FullScreenFilePath.isEmpty())
        return;
    FrmPlEcr::showPicture(m_ctx, this);
}

void FrmListe::Command1_Click() {
    if (!m_ctx.state.FullScreenFilePath.isEmpty())
        addEntry(m_ctx.state.FullScreenFilePath);
    ValideLst();
}

void FrmListe::Command2_Click() {
    const int row = ListeImg->currentRow();
    if (row >= 0)
        delete ListeImg->takeItem(row);
    Command2->setEnabled(false);
    ValideLst();
}

void FrmListe::Command3_Click() {
    AppState& st = m_ctx.state;
    const QString folder = AddBackslash(File1->path());
    for (const QString& name : File1->names()) {
        st.FullScreenFilePath = folder + name;
        st.CurrentFileExt = extensionOf(st.FullScreenFilePath);
        if (isPictureExtension(st.CurrentFileExt))
            addEntry(st.FullScreenFilePath);
    }
    ValideLst();
}

void FrmListe::Command4_Click() {
    ListeImg->clear();
    Command2->setEnabled(false);
    m_ctx.state.settings.SelectionListValid = 0;
    ValideLst();
}

void FrmListe::Mnu_Fichier_Open() {
    const bool any = m_ctx.state.SelectionLastIndex >= 0;
    Mnu_EnregListe->setEnabled(any);
    Mnu_Valide->setEnabled(any);
}

CommonDialog& FrmListe::fileDialog() {
    if (m_host.dialog)
        return *m_host.dialog;
    if (!m_ownDialog)
        m_ownDialog = std::make_unique<CommonDialog>(m_ctx.dlg(), this);
    return *m_ownDialog;
}

// Asks for a list file under title (for saving or for opening); true once
// one was chosen, in ListFileName.
bool FrmListe::askListFile(const QString& title, bool save) {
    AppState& st = m_ctx.state;
    CommonDialog& dlg = fileDialog();
    dlg.setParent(this);
    dlg.CancelError = true;
    dlg.FileName = st.ListFileName;
    dlg.DialogTitle = title;
    dlg.Filter = tr("Fichier liste d'images(*.VSI)|*.VSI");
    dlg.FilterIndex = 1;
    if (save)
        dlg.DefaultExt.clear();
    dlg.Flags = CommonDialog::OverwritePrompt;
    bool chosen = false;
    try {
        chosen = save ? dlg.ShowSave() : dlg.ShowOpen();
    } catch (const DialogCancelled&) {
    }
    dlg.CancelError = false;
    dlg.Flags = 0;
    dlg.setParent(m_host.window);
    if (!chosen)
        return false;
    st.ListFileName = dlg.FileName;
    return !st.ListFileName.isEmpty();
}

void FrmListe::Mnu_OuvreListe_Click() {
    AppState& st = m_ctx.state;
    // A file that cannot be read changes nothing.
    if (askListFile(tr("Ouvrir une liste d'images"), false) &&
        openSelectionFile(st.ListFileName, st))
        fillFromSelection();
}

void FrmListe::Mnu_EnregListe_Click() {
    AppState& st = m_ctx.state;
    ValideLst();
    if (askListFile(tr("Enregistrer Sous"), true) &&
        !writeVsiFile(st.ListFileName, selectionEntries(st)))
        m_ctx.dlg().message(tr("Impossible d'enregistrer la liste !"), tr("Erreur"), MsgIcon::Stop,
                            MsgButtons::Ok, this);
}

} // namespace lumenta
