#include "convert/frmconvertimg.h"

#include "convert/convertrules.h"
#include "picture/pictureservice.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cerrno>

namespace lumenta {

namespace {

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// Why a file could not be written, as a clause to add to the message.
QString reason(const FileResult& r) {
    switch (r.error) {
    case FileError::DiskFull:
        return FrmConvertIMG::tr(" : le disque est plein");
    case FileError::PermissionDenied:
        return FrmConvertIMG::tr(" : accès refusé");
    case FileError::FolderMissing:
        return FrmConvertIMG::tr(" : le dossier n'existe pas");
    default:
        return r.systemError == EISDIR ? FrmConvertIMG::tr(" : c'est un dossier") : QString();
    }
}

} // namespace

FrmConvertIMG::FrmConvertIMG(AppContext& ctx, QWidget* parent)
    : QDialog(parent), CommonDialog1(*ctx.dialogs, this), PicFormat321(ctx.pictures(), this),
      m_ctx(ctx) {
    setObjectName(QStringLiteral("FrmConvertIMG"));
    setWindowTitle(tr("Conversion de format de fichiers Image"));
    PicFormat321.setObjectName(QStringLiteral("PicFormat321"));

    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    auto box = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setMinimumWidth(360);
        return e;
    };
    auto button = [this](const char* name, const QString& text, const QString& tip) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(tip);
        b->setAutoDefault(false); // Enter in a box never converts nor closes
        return b;
    };
    const QString browse = tr("Parcourir...");
    const QString browseTip = tr("Choisir le fichier à convertir");
    m_pages[0] = {
        box("Text1"),
        box("Text2"),
        button("Command5", browse, browseTip),
        button("Command2", tr("Enregistrer Gif > Bmp"), tr("Convertir l'image au format BMP")),
        tr("Ouvrir image Gif - Enregistrer vers image Bmp"),
        QStringLiteral("Fichiers GIF|*.gif;*.jif"),
        QStringLiteral(".bmp")};
    m_pages[1] = {
        box("Text3"),
        box("Text4"),
        button("Command7", browse, browseTip),
        button("Command1", tr("Enregistrer Bmp > Gif"), tr("Convertir l'image au format GIF")),
        tr("Ouvrir image Bmp - Enregistrer vers image Gif"),
        QStringLiteral("Fichiers Bitmap BMP|*.bmp"),
        QStringLiteral(".gif")};
    m_pages[2] = {
        box("Text5"),
        box("Text6"),
        button("Command8", browse, browseTip),
        button("Command4", tr("Enregistrer Jpeg > Bmp"), tr("Convertir l'image au format BMP")),
        tr("Ouvrir image Jpeg - Enregistrer vers image Bmp"),
        QStringLiteral("Fichiers JPEG|*.jpg;*.jpe;*.jpeg"),
        QStringLiteral(".bmp")};
    m_pages[3] = {
        box("Text7"),
        box("Text8"),
        button("Command9", browse, browseTip),
        button("Command3", tr("Enregistrer Bmp > Jpeg"), tr("Convertir l'image au format JPEG")),
        tr("Ouvrir image Bmp - Enregistrer vers image Jpg"),
        QStringLiteral("Fichiers Bitmap BMP|*.bmp"),
        QStringLiteral(".jpg")};
    Text1 = m_pages[0].source;
    Text2 = m_pages[0].destination;
    Text3 = m_pages[1].source;
    Text4 = m_pages[1].destination;
    Text5 = m_pages[2].source;
    Text6 = m_pages[2].destination;
    Text7 = m_pages[3].source;
    Text8 = m_pages[3].destination;
    Command5 = m_pages[0].browse;
    Command7 = m_pages[1].browse;
    Command8 = m_pages[2].browse;
    Command9 = m_pages[3].browse;
    Command2 = m_pages[0].convert;
    Command1 = m_pages[1].convert;
    Command4 = m_pages[2].convert;
    Command3 = m_pages[3].convert;

    Label3 = new QLabel(tr("Ratio de Compression :"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Text9 = new QLineEdit(QString::number(kDefaultCompression), this);
    Text9->setObjectName(QStringLiteral("Text9"));
    Text9->setToolTip(tr("Compression JPEG, de 20 à 130 : plus elle est forte, plus le fichier "
                         "est petit"));
    Text9->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), Text9));
    Text9->setMaximumWidth(60);
    Label3->setBuddy(Text9);
    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    HScroll1->setRange(0, kMaxCompression);
    HScroll1->setPageStep(26);
    HScroll1->setValue(kDefaultCompression);
    HScroll1->setToolTip(Text9->toolTip());
    HScroll1->setMinimumWidth(200);

    createPage(0, tr("Gif > Bmp"), tr("Fichier GIF :"), tr("Fichier BMP :"));
    createPage(1, tr("Bmp > Gif"), tr("Fichier BMP :"), tr("Fichier GIF :"));
    createPage(2, tr("Jpeg > Bmp"), tr("Fichier JPEG  :"), tr("Fichier BMP :"));
    createPage(3, tr("Bmp > Jpeg"), tr("Fichier BMP :"), tr("Fichier JPEG :"));

    Command10 = button("Command10", tr("&Fermer"), tr("Quitter le convertisseur d'image"));
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(Command10);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(SSTab1);
    layout->addLayout(bottom);

    for (int i = 0; i < 4; ++i) {
        const Page& p = m_pages[size_t(i)];
        connect(p.browse, &QPushButton::clicked, this, [this, i] { Browse(i); });
        connect(p.convert, &QPushButton::clicked, this, [this, i] { Convert(i); });
        for (QLineEdit* e : {p.source, p.destination})
            connect(e, &QLineEdit::textChanged, this,
                    [this, i](const QString& text) { boxChanged(i, text); });
    }
    connect(HScroll1, &QScrollBar::valueChanged, this, [this] { HScroll1_Change(); });
    connect(Text9, &QLineEdit::textEdited, this, [this] { Text9_Edited(); });
    connect(Text9, &QLineEdit::editingFinished, this, [this] { Text9_Finished(); });
    connect(Command10, &QPushButton::clicked, this, [this] { reject(); });
    connect(&PicFormat321, &PicFormat32::finished, this,
            [this](const ConversionOutcome& o) { converted(o); });
    PicFormat321.confirmFormat = [this](const QString& source, const QString& found,
                                        const QString& expected) {
        return confirmFormat(source, found, expected);
    };
    updateButtons();
}

FrmConvertIMG::~FrmConvertIMG() = default;

void FrmConvertIMG::createPage(int index, const QString& title, const QString& sourceLabel,
                               const QString& destinationLabel) {
    const Page& p = m_pages[size_t(index)];
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    auto* from = new QLabel(sourceLabel, page);
    auto* to = new QLabel(destinationLabel, page);
    from->setBuddy(p.source);
    to->setBuddy(p.destination);
    grid->addWidget(from, 0, 0);
    grid->addWidget(p.source, 0, 1);
    grid->addWidget(p.browse, 0, 2);
    grid->addWidget(to, 1, 0);
    grid->addWidget(p.destination, 1, 1);
    int row = 2;
    if (index == 3) {
        auto* setting = new QHBoxLayout;
        setting->addWidget(HScroll1, 1);
        setting->addWidget(Text9);
        grid->addWidget(Label3, row, 0);
        grid->addLayout(setting, row++, 1);
    }
    grid->setRowStretch(row++, 1);
    grid->addWidget(p.convert, row, 1, 1, 2, Qt::AlignRight);
    SSTab1->addTab(page, title);
}

void FrmConvertIMG::Browse(int page) {
    Page& p = m_pages[size_t(page)];
    CommonDialog1.CancelError = true;
    CommonDialog1.FileName.clear();
    CommonDialog1.InitDir = p.source->text().isEmpty()
                                ? QFileInfo(m_ctx.state.CurrentFilePath).absolutePath()
                                : QFileInfo(p.source->text()).absolutePath();
    CommonDialog1.Filter = p.filter;
    CommonDialog1.DialogTitle = p.dialogTitle;
    try {
        CommonDialog1.ShowOpen();
    } catch (const DialogCancelled&) {
        CommonDialog1.CancelError = false;
        return;
    }
    const QString chosen = CommonDialog1.FileName;
    const QString destination = destinationFor(chosen, p.extension);
    p.source->setText(chosen);
    p.source->setToolTip(chosen);
    p.destination->setText(destination);
    p.destination->setToolTip(destination);
}

void FrmConvertIMG::boxChanged(int page, const QString& text) {
    m_pages[size_t(page)].enabled = !text.isEmpty();
    updateButtons();
}

void FrmConvertIMG::updateButtons() {
    for (const Page& p : m_pages)
        p.convert->setEnabled(p.enabled && !isConverting());
}

void FrmConvertIMG::HScroll1_Change() {
    if (HScroll1->value() < kMinCompression) {
        HScroll1->setValue(kMinCompression); // comes back here with 20
        return;
    }
    // While the user types, the box keeps what is typed.
    if (!m_typing)
        Text9->setText(QString::number(HScroll1->value()));
}

void FrmConvertIMG::Text9_Edited() {
    if (Text9->text().isEmpty())
        return;
    m_typing = true;
    HScroll1->setValue(clampCompression(Text9->text().toInt()));
    m_typing = false;
}

void FrmConvertIMG::Text9_Finished() {
    Text9->setText(QString::number(HScroll1->value()));
}

int FrmConvertIMG::compression() const {
    return clampCompression(HScroll1->value());
}

void FrmConvertIMG::error(const QString& text) {
    m_ctx.dlg().message(text, tr("Erreur"), MsgIcon::Stop, MsgButtons::Ok, this);
}

void FrmConvertIMG::Convert(int page) {
    if (isConverting())
        return;
    const Page& p = m_pages[size_t(page)];
    const QString source = p.source->text();
    const QString destination = p.destination->text();
    if (source.isEmpty() || destination.isEmpty())
        return error(tr("Indiquez le fichier à convertir et le fichier à créer."));
    if (isSameFile(source, destination))
        return error(tr("Le fichier %1 est le fichier à convertir : choisissez un autre nom "
                        "de destination.")
                         .arg(shown(destination)));
    const QFileInfo target(destination);
    if (target.exists() && !target.isDir()) {
        MessageRequest ask{
            tr("Le fichier %1 existe déjà. Voulez-vous le remplacer ?").arg(shown(destination)),
            tr("Attention"), MsgIcon::Question, MsgButtons::YesNo, MsgResult::No};
        if (m_ctx.dlg().message(ask, this) != MsgResult::Yes)
            return;
    }
    if (page == 3)
        Text9_Finished();
    bool started = false;
    switch (page) {
    case 0:
        started = PicFormat321.GifToBmp(source, destination);
        break;
    case 1:
        started = PicFormat321.BmpToGif(source, destination);
        break;
    case 2:
        started = PicFormat321.JpegToBmp(source, destination);
        break;
    case 3:
        started = PicFormat321.BmpToJpeg(source, destination, compression());
        break;
    }
    if (started) {
        setCursor(Qt::BusyCursor);
        updateButtons();
    }
}

bool FrmConvertIMG::confirmFormat(const QString& source, const QString& found,
                                  const QString& expected) {
    const MessageRequest ask{tr("Le fichier %1 est une image %2, pas une image %3. Voulez-vous "
                                "le convertir quand même ?")
                                 .arg(shown(source), found, expected),
                             tr("Attention"), MsgIcon::Question, MsgButtons::YesNo, MsgResult::Yes};
    return m_ctx.dlg().message(ask, this) == MsgResult::Yes;
}

void FrmConvertIMG::converted(const ConversionOutcome& o) {
    unsetCursor();
    updateButtons();
    using S = ConversionOutcome::Status;
    switch (o.status) {
    case S::Done:
    case S::Cancelled:
        break;
    case S::SameFile:
        error(tr("Le fichier %1 est le fichier à convertir : choisissez un autre nom de "
                 "destination.")
                  .arg(shown(o.destination)));
        break;
    case S::Unreadable:
        error(tr("Le fichier %1 est introuvable ou n'est pas une image lisible.")
                  .arg(shown(o.source)));
        break;
    case S::TooLarge:
        error(tr("L'image %1 est trop grande pour être convertie (65 535 pixels de côté au "
                 "plus).")
                  .arg(shown(o.source)));
        break;
    case S::TooLargeToHold:
        error(tr("L'image %1 est trop grande pour être convertie : elle ne tient pas entière en "
                 "mémoire.")
                  .arg(shown(o.source)));
        break;
    case S::Unwritable:
        error(tr("Impossible d'enregistrer le fichier %1%2.")
                  .arg(shown(o.destination), reason(o.file)));
        break;
    }
    if (m_closeWhenDone)
        QDialog::reject();
}

void FrmConvertIMG::reject() {
    // A conversion under way ends first; the window closes after it.
    if (isConverting()) {
        m_closeWhenDone = true;
        return;
    }
    QDialog::reject();
}

} // namespace lumenta
