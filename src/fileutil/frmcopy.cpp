// The file utility: its controls, the two panes, the selection and the
// preview. The commands are in frmcopy_commands.cpp.
#include "fileutil/frmcopy.h"

#include "app/module1.h"
#include "fileutil/vbcopym.h"
#include "picture/pictureservice.h"
#include "system/drives.h"
#include "system/filelist.h"
#include "widgets/accessiblenames.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace lumenta {

namespace {

constexpr QSize kPreviewBox(180, 135);

// The place of a picture of size inside the preview box: fitted, proportions
// kept, centred.
QRect previewRect(QSize size) {
    if (size.isEmpty())
        return QRect(QPoint(), kPreviewBox);
    const QSize fitted = size.scaled(kPreviewBox, Qt::KeepAspectRatio);
    return QRect(QPoint((kPreviewBox.width() - fitted.width()) / 2,
                        (kPreviewBox.height() - fitted.height()) / 2),
                 fitted.expandedTo(QSize(1, 1)));
}

} // namespace

FrmCopy::FrmCopy(AppContext& ctx, const QString& folder, QWidget* parent)
    : QDialog(parent), m_ctx(ctx), m_st(ctx.state) {
    setObjectName(QStringLiteral("frmCopy"));
    setWindowTitle(tr("Utilitaire"));
    createControls();
    nameListsAfterTheirLabels(this);
    layoutControls();
    setToolTips();
    wire();

    // Opening: both panes on the main window's drive and folder.
    const QString start = QFileInfo(folder).isDir() ? folder : QDir::homePath();
    m_st.LastValidDrive = driveOfPath(start, Lecteur1->drives());
    for (DriveList* d : {Lecteur1, Lecteur2}) {
        const QSignalBlocker block(d);
        d->setDrive(start);
    }
    Repertoire1->setPath(start);
    Repertoire2->setPath(start);
    resetSelection();
    hidePreview();
    resize(sizeHint().expandedTo(QSize(820, 560)));
    CentreForm(this);
}

FrmCopy::~FrmCopy() {
    if (m_batch)
        m_batch->abandon();
}

void FrmCopy::createControls() {
    auto label = [this](QWidget* parent, const char* name, const QString& text) {
        auto* l = new QLabel(text, parent);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QLatin1String(name));
        return w;
    };

    Cadre1 = new QGroupBox(tr("Source :"), this);
    Cadre1->setObjectName(QStringLiteral("Cadre1"));
    Etiquette1 = label(Cadre1, "Etiquette1", tr("Lecteur source :"));
    Etiquette2 = label(Cadre1, "Etiquette2", tr("Dossier source :"));
    Etiquette3 = label(Cadre1, "Etiquette3", tr("Fichiers source :"));
    Lecteur1 = new DriveList(Cadre1);
    Repertoire1 = new DirList(Cadre1);
    Fichier1 = new FileList(Cadre1);
    named(Lecteur1, "Lecteur1");
    named(Repertoire1, "Repertoire1");
    named(Fichier1, "Fichier1");
    Fichier1->setSelectionMode(QAbstractItemView::ExtendedSelection);

    Cadre2 = new QGroupBox(tr("Cible :"), this);
    Cadre2->setObjectName(QStringLiteral("Cadre2"));
    Etiquette6 = label(Cadre2, "Etiquette6", tr("Lecteur cible :"));
    Etiquette5 = label(Cadre2, "Etiquette5", tr("Dossier cible :"));
    Etiquette4 = label(Cadre2, "Etiquette4", tr("Fichiers cible :"));
    Lecteur2 = new DriveList(Cadre2);
    Repertoire2 = new DirList(Cadre2);
    Fichier2 = new FileList(Cadre2);
    named(Lecteur2, "Lecteur2");
    named(Repertoire2, "Repertoire2");
    named(Fichier2, "Fichier2");
    Fichier2->setSelectionMode(QAbstractItemView::NoSelection);

    Label1 = label(this, "Label1", tr("Filtre :"));
    Text1 = new QLineEdit(QStringLiteral("*.*"), this);
    named(Text1, "Text1");
    for (const auto& [l, control] : {std::pair<QLabel*, QWidget*>{Etiquette1, Lecteur1},
                                     {Etiquette2, Repertoire1},
                                     {Etiquette3, Fichier1},
                                     {Etiquette6, Lecteur2},
                                     {Etiquette5, Repertoire2},
                                     {Etiquette4, Fichier2},
                                     {Label1, Text1}})
        l->setBuddy(control);
    Label2 = label(this, "Label2", QString());
    Etiquette7 = label(this, "Etiquette7", tr("Sélection :"));
    etiSelection = label(this, "etiSelection", QStringLiteral("0"));
    Etiquette9 = label(this, "Etiquette9", tr("Copié(s) :"));
    etiCopies = label(this, "etiCopies", QStringLiteral("0"));
    progressCopy = new QProgressBar(this);
    named(progressCopy, "progressCopy");
    progressCopy->setToolTip(tr("Copie du fichier en cours"));
    progressCopy->hide();

    Image1 = new StretchImage(this);
    named(Image1, "Image1");
    // Holds the picture for the clipboard; never shown.
    Picture1 = new PictureBox(this);
    named(Picture1, "Picture1");
    Picture1->hide();

    btcCopy = button("btcCopy", tr("&Copier les fichiers"));
    Command1 = button("Command1", tr("&Supprimer les fichiers"));
    Command2 = button("Command2", tr("&Renommer les fichiers"));
    Command6 = button("Command6", tr("&Exécuter"));
    Command5 = button("Command5", tr("&Modifier texte"));
    Command3 = button("Command3", tr("&Plein écran"));
    Commande1 = button("Commande1", tr("Créer un &dossier"));
    Command4 = button("Command4", tr("Suppri&mer un dossier"));
    btcInfo = button("btcInfo", tr("&Info"));
    btcCancel = button("btcCancel", tr("&Quitter"));
}

void FrmCopy::layoutControls() {
    auto pane = [](QGroupBox* box, QLabel* l1, QWidget* drive, QLabel* l2, QWidget* dir, QLabel* l3,
                   QWidget* files) {
        auto* v = new QVBoxLayout(box);
        v->addWidget(l1);
        v->addWidget(drive);
        v->addWidget(l2);
        v->addWidget(dir, 2);
        v->addWidget(l3);
        v->addWidget(files, 3);
    };
    pane(Cadre1, Etiquette1, Lecteur1, Etiquette2, Repertoire1, Etiquette3, Fichier1);
    pane(Cadre2, Etiquette6, Lecteur2, Etiquette5, Repertoire2, Etiquette4, Fichier2);

    auto* middle = new QVBoxLayout;
    auto* filter = new QHBoxLayout;
    filter->addWidget(Label1);
    filter->addWidget(Text1, 1);
    middle->addLayout(filter);
    middle->addWidget(Label2);
    auto* counts = new QGridLayout;
    counts->addWidget(Etiquette7, 0, 0);
    counts->addWidget(etiSelection, 0, 1);
    counts->addWidget(Etiquette9, 1, 0);
    counts->addWidget(etiCopies, 1, 1);
    counts->setColumnStretch(1, 1);
    middle->addLayout(counts);
    middle->addWidget(progressCopy);
    // The preview keeps the picture's proportions inside a fixed box.
    auto* previewBox = new QWidget(this);
    previewBox->setFixedSize(kPreviewBox);
    Image1->setParent(previewBox);
    Image1->setGeometry(previewRect(QSize()));
    middle->addWidget(previewBox, 0, Qt::AlignHCenter);
    middle->addWidget(Command3);
    middle->addStretch(1);
    for (QPushButton* b : {btcCopy, Command1, Command2, Command6, Command5})
        middle->addWidget(b);
    middle->addSpacing(8);
    for (QPushButton* b : {Commande1, Command4})
        middle->addWidget(b);
    middle->addSpacing(8);
    for (QPushButton* b : {btcInfo, btcCancel})
        middle->addWidget(b);

    auto* top = new QHBoxLayout(this);
    top->addWidget(Cadre1, 1);
    top->addLayout(middle);
    top->addWidget(Cadre2, 1);
}

void FrmCopy::setToolTips() {
    Commande1->setToolTip(tr("Crée un dossier à partir du chemin cible"));
    Command4->setToolTip(tr("Supprime un dossier à partir du chemin cible"));
    Command5->setToolTip(tr("Edite le fichier sélectionné"));
    Command1->setToolTip(tr("Supprime les fichiers sélectionnés"));
    Command6->setToolTip(tr("Exécute le fichier sélectionné par association"));
    Command3->setToolTip(tr("Affiche le fichier séléctionné en plein écran"));
    btcCopy->setToolTip(tr("Copie les fichiers sélectionnés dans le dossier cible"));
    Command2->setToolTip(tr("Renomme les fichiers sélectionnés"));
    Image1->setToolTip(tr("Double clic pour copier l'image dans le presse papier"));
    Text1->setToolTip(tr("Choix du filtre d'affichage des fichiers"));
    btcInfo->setToolTip(tr("Aide sur les actions possibles sur les fichiers"));
    btcCancel->setToolTip(tr("Quitte l'utilitaire de gestion des fichiers"));
}

void FrmCopy::wire() {
    connect(Lecteur1, &DriveList::driveChanged, this, [this] { Lecteur_Change(true); });
    connect(Lecteur2, &DriveList::driveChanged, this, [this] { Lecteur_Change(false); });
    connect(Repertoire1, &DirList::pathChanged, this, [this] { Repertoire1_Change(); });
    connect(Repertoire2, &DirList::pathChanged, this, [this] { Repertoire2_Change(); });
    connect(Text1, &QLineEdit::textEdited, this, [this](const QString& t) { Text1_Change(t); });
    connect(Text1, &QLineEdit::editingFinished, this, [this] { Text1_Commit(); });
    connect(Fichier1, &FileList::fileClicked, this,
            [this](const QString& n) { Fichier1_Click(n); });
    connect(Fichier1, &FileList::selectionEdited, this, [this] { updateSelection(); });
    connect(Fichier1, &FileList::doubleClicked, this, [this] { Command6_Click(); });
    connect(Fichier1, &FileList::listed, this, [this] { updateFileCount(); });
    connect(btcCopy, &QPushButton::clicked, this, [this] { btcCopy_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
    connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(Commande1, &QPushButton::clicked, this, [this] { Commande1_Click(); });
    connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
    connect(Image1, &StretchImage::doubleClicked, this, [this] { Image1_DblClick(); });
    connect(btcInfo, &QPushButton::clicked, this, [this] { btcInfo_Click(); });
    connect(btcCancel, &QPushButton::clicked, this, [this] { close(); });
}

QString FrmCopy::sourceFolder() const {
    return Repertoire1->path();
}

QString FrmCopy::targetFolder() const {
    return Repertoire2->path();
}

int FrmCopy::selectedCount() const {
    return Fichier1->selectedCount();
}

QStringList FrmCopy::selectedNames() const {
    // In list order, whatever order they were picked in; what is listed and
    // selected, also while the folder is being listed again.
    return Fichier1->selectedNames();
}

QString FrmCopy::clickedName() const {
    const QStringList selected = Fichier1->selectedNames();
    if (selected.size() == 1)
        return selected.first();
    return Fichier1->nameAt(Fichier1->currentRow());
}

void FrmCopy::updateFileCount() {
    // A folder being listed has no count yet; a refresh keeps the last one.
    if (Fichier1->isListing() && Fichier1->listCount() == 0)
        Label2->clear();
    else
        Label2->setText(printForm(Fichier1->listCount()) + tr(" Fichiers"));
}

void FrmCopy::updateSelection() {
    const int n = selectedCount();
    etiSelection->setText(printForm(n));
    btcCopy->setEnabled(n > 0);
    Command1->setEnabled(n > 0);
    Command2->setEnabled(n > 0);
    Command5->setEnabled(n == 1);
    Command6->setEnabled(n == 1);
    // The preview shows only while the one selected file is the previewed
    // picture.
    const bool preview = n == 1 && m_previewAllowed && m_st.SelectionIsPicture == 1 &&
                         !m_preview.isNull() &&
                         AddBackslash(sourceFolder()) + clickedName() == m_previewPath;
    Image1->setVisible(preview);
    Command3->setVisible(preview);
}

void FrmCopy::resetSelection() {
    {
        const QSignalBlocker block(Fichier1);
        Fichier1->clearSelection();
    }
    updateSelection();
    etiSelection->setText(QStringLiteral("0"));
}

void FrmCopy::hidePreview() {
    m_previewAllowed = false;
    Image1->hide();
    Command3->hide();
}

void FrmCopy::refreshSource() {
    Fichier1->refresh();
    updateFileCount();
    updateSelection();
}

void FrmCopy::refreshFolders() {
    // A pane whose folder has gone moves to the nearest folder left.
    for (DirList* d : {Repertoire1, Repertoire2}) {
        QString folder = d->path();
        while (!QFileInfo(folder).isDir() && folder != QLatin1String("/"))
            folder = QFileInfo(folder).absolutePath();
        if (folder != d->path())
            d->setPath(folder);
        else
            d->refresh();
    }
}

void FrmCopy::Lecteur_Change(bool source) {
    if (m_changingDrive)
        return;
    m_changingDrive = true;
    DriveList* drive = source ? Lecteur1 : Lecteur2;
    DirList* dir = source ? Repertoire1 : Repertoire2;
    QHash<QString, QString>& remembered = m_folderOfDrive[source ? 0 : 1];
    remembered.insert(driveOfPath(dir->path(), drive->drives()), dir->path());
    while (true) {
        const QString root = drive->drive();
        const QString folder = remembered.value(root, root);
        if (isDriveReady(root) && (dir->setPath(folder) || dir->setPath(root))) {
            if (source) {
                m_st.LastValidDrive = root;
            } else {
                resetSelection();
                hidePreview();
            }
            break;
        }
        const MsgResult answer =
            m_ctx.dlg().message(tr("Lecteur non disponible ou non prêt !"), tr("Erreur"),
                                MsgIcon::Question, MsgButtons::RetryCancel, this);
        if (answer != MsgResult::Retry) {
            // Back on the drive the pane is still showing.
            const QSignalBlocker block(drive);
            drive->refresh();
            drive->setDrive(dir->path());
            break;
        }
    }
    m_changingDrive = false;
}

void FrmCopy::Repertoire1_Change() {
    m_previewLoading.clear();
    Fichier1->setPath(sourceFolder());
    resetSelection();
    hidePreview();
    updateFileCount();
}

void FrmCopy::Repertoire2_Change() {
    Fichier2->setPath(targetFolder());
}

void FrmCopy::Text1_Change(const QString& text) {
    // A pattern still being typed (a trailing ";") waits for Enter or for
    // the focus to leave the box; a valid one filters at once.
    if (!isValidPattern(text))
        return;
    Fichier1->setPattern(text);
    updateFileCount();
    updateSelection();
}

void FrmCopy::Text1_Commit() {
    const QString text = Text1->text();
    if (isValidPattern(text)) {
        if (Fichier1->pattern() != text)
            Text1_Change(text);
        return;
    }
    m_ctx.dlg().message(tr("Filtre incorrect !"), tr("Erreur"), MsgIcon::Stop, MsgButtons::Ok,
                        this);
    Text1->setText(QStringLiteral("*.*"));
    Fichier1->setPattern(QStringLiteral("*.*"));
    updateFileCount();
    updateSelection();
}

void FrmCopy::Fichier1_Click(const QString& name) {
    updateFileCount();
    const QString path = AddBackslash(sourceFolder()) + name;
    m_st.CurrentFilePath = path;
    m_st.CurrentFileExt = extensionOf(path);
    if (isPictureExtension(m_st.CurrentFileExt)) {
        m_st.SelectionIsPicture = 1;
        m_previewAllowed = true;
        if (path != m_previewPath || m_preview.isNull())
            loadPreview(path);
    } else {
        m_st.SelectionIsPicture = 0;
        m_previewLoading.clear();
        hidePreview();
    }
    updateSelection();
}

void FrmCopy::loadPreview(const QString& path) {
    // Read by the picture service; a newer click supersedes an older one,
    // and only the answer for the last file asked for counts.
    m_previewLoading = path;
    m_preview = Picture();
    m_previewPath.clear();
    m_ctx.pictures().request(this, PictureRequest::full(path),
                             [this, path](const PictureResult& r) {
                                 if (path == m_previewLoading)
                                     previewLoaded(path, r.picture);
                             });
}

void FrmCopy::previewLoaded(const QString& path, const Picture& picture) {
    m_previewLoading.clear();
    if (picture.isNull()) {
        m_st.SelectionIsPicture = 0;
        hidePreview();
        updateSelection();
        m_ctx.dlg().message(tr("Format d'image incorrect"), tr("Erreur"), MsgIcon::Stop,
                            MsgButtons::Ok, this);
        return;
    }
    m_preview = picture;
    m_previewPath = path;
    Image1->setGeometry(previewRect(picture.size()));
    Image1->setImage(picture.image);
    Picture1->setImage(picture.image);
    updateSelection();
}

} // namespace lumenta
