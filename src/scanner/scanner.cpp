#include "scanner/scanner.h"

#include "app/module1.h"
#include "picture/picturesaver.h"
#include "widgets/picturewidgets.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QGridLayout>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QWheelEvent>

namespace lumenta {

Scanner::Scanner(AppContext& ctx, ScannerSession& session, QWidget* parent)
    : QMainWindow(parent, Qt::Window), CMDialog1(ctx.dlg(), this), m_ctx(ctx), m_session(session) {
    setObjectName(QStringLiteral("Scanner"));
    setWindowTitle(tr("Scanner une image "));
    // Closing the main window ends the program even while this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* central = new QWidget(this);
    PicFond = new QWidget(central);
    PicFond->setObjectName(QStringLiteral("PicFond"));
    PicFond->setAutoFillBackground(true);
    PicFond->setBackgroundRole(QPalette::Dark);
    PicFond->setMinimumSize(120, 90);
    PicFond->installEventFilter(this);
    PicImage = new PictureBox(PicFond);
    PicImage->setObjectName(QStringLiteral("PicImage"));
    PicImage->resize(0, 0);
    VScroll1 = new QScrollBar(Qt::Vertical, central);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    HScroll1 = new QScrollBar(Qt::Horizontal, central);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    for (QScrollBar* s : {HScroll1, VScroll1}) {
        s->setToolTip(tr("Fait défiler l'image"));
        s->setRange(0, 0);
        connect(s, &QScrollBar::valueChanged, this, [this] { placePicture(); });
    }
    auto* grid = new QGridLayout(central);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    grid->addWidget(PicFond, 0, 0);
    grid->addWidget(VScroll1, 0, 1);
    grid->addWidget(HScroll1, 1, 0);
    setCentralWidget(central);

    createMenus();
    updateCommands();
    // A comfortable size that the screen can hold, in its middle.
    QSize size(720, 560);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 0.9);
    resize(size);
    CentreForm(this);
}

void Scanner::createMenus() {
    auto item = [this](QMenu* menu, const char* name, const QString& text) {
        QAction* a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    auto separator = [](QMenu* menu, const char* name) {
        QAction* a = menu->addSeparator();
        a->setObjectName(QLatin1String(name));
        return a;
    };
    Mnu_Fichier = menuBar()->addMenu(tr("&Fichier"));
    Mnu_Fichier->setObjectName(QStringLiteral("Mnu_Fichier"));
    Mnu_Nouveau = item(Mnu_Fichier, "Mnu_Nouveau", tr("&Nouveau"));
    Mnu_Nouveau->setShortcut(QKeySequence::New);
    sep3 = separator(Mnu_Fichier, "sep3");
    Mnu_Enregistrer = item(Mnu_Fichier, "Mnu_Enregistrer", tr("&Enregistrer Sous"));
    Mnu_Enregistrer->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    sep1 = separator(Mnu_Fichier, "sep1");
    Mnu_Acquerir = item(Mnu_Fichier, "Mnu_Acquerir", tr("&Acquerir l'image (12 Mo maxi)..."));
    Mnu_SelectSource = item(Mnu_Fichier, "Mnu_SelectSource", tr("&Sélectionner source..."));
    sep2 = separator(Mnu_Fichier, "sep2");
    Mnu_Fermer = item(Mnu_Fichier, "Mnu_Fermer", tr("&Fermer"));
    Mnu_Fermer->setShortcut(QKeySequence::Close);

    Mnu_Edition = menuBar()->addMenu(tr("&Edition"));
    Mnu_Edition->setObjectName(QStringLiteral("Mnu_Edition"));
    Mnu_Copie = item(Mnu_Edition, "Mnu_Copie", tr("&Copier dans le presse papier"));
    Mnu_Copie->setShortcut(QKeySequence::Copy);

    Mnu_Aide = menuBar()->addMenu(tr("?"));
    Mnu_Aide->setObjectName(QStringLiteral("Mnu_Aide"));
    Mnu_Résolution = item(Mnu_Aide, "Mnu_Résolution", tr("Résolution"));

    connect(Mnu_Fichier, &QMenu::aboutToShow, this, [this] { updateCommands(); });
    connect(Mnu_Edition, &QMenu::aboutToShow, this, [this] { updateCommands(); });
    connect(Mnu_Nouveau, &QAction::triggered, this, [this] { Nouveau(); });
    connect(Mnu_Enregistrer, &QAction::triggered, this, [this] { Enregistrer(); });
    connect(Mnu_Acquerir, &QAction::triggered, this, [this] { Q_EMIT acquireRequested(); });
    connect(Mnu_SelectSource, &QAction::triggered, this,
            [this] { Q_EMIT selectSourceRequested(); });
    connect(Mnu_Fermer, &QAction::triggered, this, [this] { Fermer(); });
    connect(Mnu_Copie, &QAction::triggered, this, [this] { Copie(); });
    connect(Mnu_Résolution, &QAction::triggered, this, [this] { Resolution(); });
}

void Scanner::updateCommands() {
    const bool has = !m_picture.isNull();
    Mnu_Enregistrer->setEnabled(has);
    Mnu_Copie->setEnabled(has);
    Mnu_Acquerir->setEnabled(!m_busy);
    Mnu_SelectSource->setEnabled(!m_busy);
}

void Scanner::setBusy(bool busy) {
    m_busy = busy;
    updateCommands();
}

void Scanner::setPicture(const QImage& picture) {
    m_picture = picture;
    // Shown from a copy the screen draws quickly; saved and copied as scanned.
    PicImage->setImage(picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_RGB32));
    if (picture.isNull())
        PicImage->resize(0, 0);
    HScroll1->setValue(0);
    VScroll1->setValue(0);
    CalculScroll();
    updateCommands();
}

void Scanner::CalculScroll() {
    // The real overhang, whatever its size; nothing to scroll when the
    // picture fits.
    const int hMax = std::max(0, PicImage->width() - PicFond->width());
    const int vMax = std::max(0, PicImage->height() - PicFond->height());
    HScroll1->setMaximum(hMax);
    VScroll1->setMaximum(vMax);
    HScroll1->setPageStep(std::max(1, hMax / 5));
    VScroll1->setPageStep(std::max(1, vMax / 5));
    HScroll1->setSingleStep(std::max(1, std::min(20, hMax / 20)));
    VScroll1->setSingleStep(std::max(1, std::min(20, vMax / 20)));
    HScroll1->setEnabled(hMax > 0);
    VScroll1->setEnabled(vMax > 0);
    placePicture();
}

void Scanner::placePicture() {
    PicImage->move(-HScroll1->value(), -VScroll1->value());
}

void Scanner::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    CalculScroll();
}

void Scanner::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    CalculScroll();
}

bool Scanner::eventFilter(QObject* watched, QEvent* e) {
    if (watched == PicFond && e->type() == QEvent::Resize)
        CalculScroll();
    if (watched == PicFond && e->type() == QEvent::Wheel) {
        auto* w = static_cast<QWheelEvent*>(e);
        const bool sideways = w->modifiers() & Qt::ShiftModifier || w->angleDelta().x() != 0;
        QApplication::sendEvent(sideways ? HScroll1 : VScroll1, e);
        return true;
    }
    return QMainWindow::eventFilter(watched, e);
}

void Scanner::Nouveau() {
    setPicture(QImage());
}

void Scanner::Enregistrer() {
    if (m_picture.isNull())
        return;
    CMDialog1.CancelError = true;
    try {
        // The last name used, else the main window's rule for a bitmap copy
        // of the selected file.
        CMDialog1.FileName = m_session.lastSaveName.isEmpty()
                                 ? bitmapNameFor(m_ctx.state.FullScreenFilePath)
                                 : m_session.lastSaveName;
        CMDialog1.DialogTitle = tr("Enregistrer Sous");
        CMDialog1.Filter = tr("Image en mode point  (*.BMP)|*.BMP");
        CMDialog1.FilterIndex = 1;
        CMDialog1.DefaultExt = QStringLiteral("bmp");
        CMDialog1.Flags = CommonDialog::OverwritePrompt;
        CMDialog1.ShowSave();
        const QString name = CMDialog1.FileName;
        if (!name.isEmpty()) {
            if (saveBmp(m_picture, name)) {
                m_session.lastSaveName = name;
            } else {
                m_ctx.dlg().message(tr("L'image n'a pas pu être enregistrée dans %1.").arg(name),
                                    tr("Erreur"), MsgIcon::Stop, MsgButtons::Ok, this);
            }
        }
    } catch (const DialogCancelled&) {
    }
    CMDialog1.CancelError = false;
    CMDialog1.Flags = 0;
}

void Scanner::Copie() {
    if (m_picture.isNull())
        return;
    if (QClipboard* clip = QApplication::clipboard())
        clip->setImage(m_picture);
}

void Scanner::Resolution() {
    const QString text = tr("Résolution de numérisation\n\n"
                            "A4 Couleur : 200 ppp\n"
                            "A4 Niveaux de Gris : 200 ppp\n"
                            "A4 Noir et Blanc :200 à 300 ppp\n"
                            "Photo couleur 13 x 19 cm : 300 ppp\n"
                            "Photo couleur 9 x 12 cm : 400 ppp\n\n"
                            "La taille du fichier numérisé ne doit pas dépasser 12 Mo.");
    m_ctx.dlg().message(text, tr("Information sur la résolution"), MsgIcon::Information,
                        MsgButtons::Ok, this);
}

void Scanner::showAcquireFailure() {
    m_ctx.dlg().message(tr("Pas assez de mémoire !"), tr("Erreur"), MsgIcon::Information,
                        MsgButtons::Ok, this);
}

void Scanner::Fermer() {
    close();
}

void Scanner::closeEvent(QCloseEvent* e) {
    Q_EMIT closing();
    QMainWindow::closeEvent(e);
}

} // namespace lumenta
