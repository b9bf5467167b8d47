// The menu bar, the picture commands and the opening of the other windows.
#include "about/frmabout.h"
#include "app/module1.h"
#include "browser/frmpicviewer.h"
#include "cdplayer/cdplayer.h"
#include "convert/frmconvertimg.h"
#include "fileutil/frmcopy.h"
#include "fullscreen/frmplecr.h"
#include "picture/colourtransform.h"
#include "picture/picturesaver.h"
#include "printing/impimg.h"
#include "printing/orimp.h"
#include "scanner/scannercommands.h"
#include "slideshow/diapo.h"
#include "slideshow/frmliste.h"
#include "slideshow/slideshowhost.h"
#include "viewer/lumenta.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QApplication>
#include <QFileInfo>
#include <QMenuBar>
#include <QPrinter>
#include <QScrollBar>
#include <QToolButton>

namespace lumenta {

void Lumenta::createMenus() {
    auto item = [this](QMenu* menu, const char* name, const QString& text) {
        QAction* a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    auto menu = [this](const char* name, const QString& title) {
        QMenu* m = menuBar()->addMenu(title);
        m->setObjectName(QLatin1String(name));
        return m;
    };

    Mnu_Fichier = menu("Mnu_Fichier", tr("&Fichier"));
    Mnu_Fichier->addAction(Mnu_EnregSous);
    Mnu_Fichier->addSeparator();
    Mnu_SelectSource = item(Mnu_Fichier, "Mnu_SelectSource", tr("Sélectionner source..."));
    Mnu_AcquScanner = item(Mnu_Fichier, "Mnu_AcquScanner", tr("&Acquerir...(<12Mo)"));
    Mnu_Fichier->addSeparator();
    Mnu_Imprimer = item(Mnu_Fichier, "Mnu_Imprimer", tr("&Imprimer"));
    Mnu_ConfIMP = item(Mnu_Fichier, "Mnu_ConfIMP", tr("&Configurer l'imprimante"));
    Mnu_Fichier->addSeparator();
    Mnu_Utilitaire = item(Mnu_Fichier, "Mnu_Utilitaire", tr("Utilitaire de copie"));
    Mnu_ConvertIMG =
        item(Mnu_Fichier, "Mnu_ConvertIMG", tr("Conversion de format de fichier image"));
    Mnu_Fichier->addSeparator();
    Mnu_Quitter = item(Mnu_Fichier, "Mnu_Quitter", tr("&Quitter"));
    Mnu_Quitter->setShortcut(QKeySequence::Quit);

    Mnu_Edition = menu("Mnu_Edition", tr("&Edition"));
    Mnu_Copie = item(Mnu_Edition, "Mnu_Copie", tr("&Copier dans le presse papier"));
    Mnu_Copie->setShortcut(QKeySequence::Copy);
    Mnu_Coller = item(Mnu_Edition, "Mnu_Coller", tr("Co&ller dans une nouvelle image"));
    Mnu_Coller->setVisible(false); // offers no command

    Mnu_Affichage = menu("Mnu_Affichage", tr("&Affichage"));
    Mnu_AfficheVignette = item(Mnu_Affichage, "Mnu_AfficheVignette", tr("Affichage par vignettes"));
    Mnu_Affichage->addAction(Mnu_ListeSelect);
    Mnu_Affichage->addSeparator();
    createDisplayMenu();
    Mnu_Affichage->addAction(Mnu_Pleinecran);
    Mnu_Affichage->addAction(Mnu_EffaceImage);
    Mnu_Affichage->addSeparator();
    Mnu_Affichage->addAction(Mnu_Diapo);
    Mnu_Affichage->addSeparator();
    Mnu_CDPlay = item(Mnu_Affichage, "Mnu_CDPlay", tr("CD Player"));

    Mnu_Aide = menu("Mnu_Aide", tr("?"));
    Mnu_Apropos = item(Mnu_Aide, "Mnu_Apropos", tr("&A propos"));
    Mnu_Apropos2 = item(Mnu_Aide, "Mnu_Apropos2", tr("A propos 2"));

    connect(Mnu_Fichier, &QMenu::aboutToShow, this, [this] { Mnu_Fichier_Open(); });
    connect(Mnu_Edition, &QMenu::aboutToShow, this, [this] { Mnu_Edition_Open(); });
    connect(Mnu_Affichage, &QMenu::aboutToShow, this, [this] {
        Mnu_Affichage_Open();
        enforceAvailability();
    });
}

void Lumenta::openWindow(SecondaryWindow id, QWidget* focusBack) {
    m_windows.open(id);
    if (focusBack)
        focusBack->setFocus();
}

void Lumenta::wireCommands() {
    const auto quit = [] { QApplication::closeAllWindows(); };
    connect(Mnu_Quitter, &QAction::triggered, this, quit);
    connect(Command1, &QToolButton::clicked, this, quit);
    connect(Mnu_Copie, &QAction::triggered, this, [this] { Image1_DblClick(); });
    // Copying needs a shown picture; the item (and so Ctrl+C) follows the
    // picture box at once, not only when the menu opens.
    connect(Open, &PictureBox::shownChanged, Mnu_Copie, &QAction::setEnabled);
    Mnu_Copie->setEnabled(!Open->isHidden());

    connect(Mnu_Pleinecran, &QAction::triggered, this, [this] { PleinEcran(); });
    connect(Command2, &QToolButton::clicked, this, [this] {
        PleinEcran();
        File1->setFocus();
    });
    connect(Open, &PictureBox::clicked, this, [this] { PleinEcran(); });
    connect(Open, &PictureBox::doubleClicked, this, [this] { PleinEcran(); });

    connect(Mnu_EnregSous, &QAction::triggered, this, [this] { EnregSous(); });
    connect(Mnu_ConfIMP, &QAction::triggered, this, [this] { ConfIMP(); });
    connect(Mnu_EffaceImage, &QAction::triggered, this, [this] { EffaceImage(); });
    connect(Command7, &QToolButton::clicked, this, [this] {
        EffaceImage();
        File1->setFocus();
    });

    // The windows built so far.
    m_windows.add(SecondaryWindow::About, [this] {
        FrmAbout about(m_ctx, this);
        about.exec();
    });
    m_windows.add(SecondaryWindow::PictureBrowser,
                  [this] { FrmPicViewer::open(m_ctx, Dir1->path(), this); });
    m_windows.add(SecondaryWindow::Printing, [this] {
        if (!putOffWhileLoading(AfterLoad::Print))
            printShownPicture();
    });
    m_windows.add(SecondaryWindow::Conversion, [this] {
        FrmConvertIMG convert(m_ctx, this);
        convert.exec();
        File1->refresh(); // the new files show in the list
    });
    m_windows.add(SecondaryWindow::CDPlayer, [this] { CDPlayer::showBeside(m_ctx, this); });
    m_windows.add(SecondaryWindow::SlideshowSettings, [this] {
        // Asked for while the folder is still being listed: the show is
        // set up once its files are known, not refused for want of them.
        if (File1->isListing() && File1->listCount() == 0 &&
            m_st.settings.SelectionListValid == 0) {
            m_slideshowWhenListed = true;
            return;
        }
        Diapo::run(m_ctx, slideshowHost());
    });
    m_windows.add(SecondaryWindow::SelectionList, [this] {
        FrmListe editor(m_ctx, slideshowHost(), this);
        editor.exec();
    });
    auto* scanner = new ScannerCommands(m_ctx, this);
    scanner->bindMainActions(Mnu_SelectSource, Mnu_AcquScanner);
    connect(scanner, &ScannerCommands::windowClosed, this, [this] { File1->refresh(); });
    m_windows.add(SecondaryWindow::ScannerSource, [scanner] { scanner->selectSource(); });
    m_windows.add(SecondaryWindow::ScannerAcquire, [scanner] { scanner->acquire(); });
    m_windows.add(SecondaryWindow::FileUtility, [this] {
        // The utility may delete or rename the picture shown: it goes away
        // first, with the commands that act on it.
        EffaceImage();
        FrmCopy utility(m_ctx, Dir1->path(), this);
        utility.exec();
        refreshListsAfterFileUtility();
    });

    // Commands that open another window.
    for (const WindowCommand& o : windowCommands()) {
        const SecondaryWindow id = o.id;
        connect(o.action, &QAction::triggered, this, [this, id] { openWindow(id); });
        if (o.button) {
            // These buttons give the focus back to the file list.
            const bool focusBack = o.button == Command3 || o.button == Command5 ||
                                   o.button == Command6 || o.button == Command8;
            connect(o.button, &QToolButton::clicked, this,
                    [this, id, focusBack] { openWindow(id, focusBack ? File1 : nullptr); });
        }
    }
}

SlideshowHost Lumenta::slideshowHost() {
    return SlideshowHost{this, File1, &CMDialog1, MMControl1, [this] { Command6->show(); }};
}

QList<Lumenta::WindowCommand> Lumenta::windowCommands() const {
    return {
        {Mnu_Diapo, Command6, SecondaryWindow::SlideshowSettings},
        {Mnu_ListeSelect, Command5, SecondaryWindow::SelectionList},
        {Mnu_AfficheVignette, Command9, SecondaryWindow::PictureBrowser},
        {Mnu_Utilitaire, Command8, SecondaryWindow::FileUtility},
        {Mnu_Imprimer, Command10, SecondaryWindow::Printing},
        {Mnu_ConvertIMG, Command11, SecondaryWindow::Conversion},
        {Mnu_SelectSource, nullptr, SecondaryWindow::ScannerSource},
        {Mnu_AcquScanner, nullptr, SecondaryWindow::ScannerAcquire},
        {Mnu_CDPlay, nullptr, SecondaryWindow::CDPlayer},
        {Mnu_Apropos, Command3, SecondaryWindow::About},
    };
}

void Lumenta::refreshListsAfterFileUtility() {
    // The utility may have removed the folder shown: the nearest one left.
    QString folder = Dir1->path();
    while (!QFileInfo(folder).isDir() && folder != QLatin1String("/"))
        folder = QFileInfo(folder).absolutePath();
    if (folder != Dir1->path()) {
        Dir1->setPath(folder);
        return;
    }
    Dir1->refresh();
    File1->refresh();
    updateFileCount();
}

void Lumenta::enforceAvailability() {
    for (const WindowCommand& c : windowCommands()) {
        if (m_windows.available(c.id))
            continue;
        c.action->setEnabled(false);
        if (c.button)
            c.button->setEnabled(false);
    }
}

void Lumenta::Mnu_Fichier_Open() {
    m_st.FullScreenFilePath = AddBackslash(File1->path()) + File1->fileName();
    m_st.CurrentFileExt = extensionOf(m_st.FullScreenFilePath);
    Mnu_Imprimer->setEnabled(!shownPicturePath().isEmpty());
    enforceAvailability();
}

void Lumenta::Mnu_Edition_Open() {
    Mnu_Copie->setEnabled(!Open->isHidden());
}

void Lumenta::EffaceImage() {
    cancelPictureLoad();
    for (QWidget* w : {static_cast<QWidget*>(Open), PicFond, static_cast<QWidget*>(VScroll1),
                       static_cast<QWidget*>(HScroll1), static_cast<QWidget*>(Image1),
                       static_cast<QWidget*>(Command7), static_cast<QWidget*>(Command2),
                       static_cast<QWidget*>(Command10)})
        w->hide();
    showCommand6BySelection();
    for (QAction* a : {Mnu_Diapo, Mnu_EnregSous, Mnu_Pleinecran, Mnu_EffaceImage})
        a->setEnabled(false);
}

void Lumenta::PleinEcran() {
    m_st.FullScreenFilePath = m_st.CurrentFilePath;
    // The full-screen window gets its picture from the picture service,
    // which makes it from the one this window shows when it still has it.
    // It reports a picture it cannot show itself.
    FrmPlEcr::showPicture(m_ctx, this);
}

void Lumenta::EnregSous() {
    if (putOffWhileLoading(AfterLoad::Save))
        return;
    CMDialog1.CancelError = true;
    // The name proposed is the one of the picture whose pixels are saved.
    const QString source = shownPicturePath();
    m_st.CurrentFilePath = bitmapNameFor(source.isEmpty() ? m_st.FullScreenFilePath : source);
    try {
        // Nothing displayed: nothing to save.
        const QImage shown = Open->displayedImage();
        if (source.isEmpty() || shown.isNull())
            throw DialogCancelled();
        CMDialog1.FileName = m_st.CurrentFilePath;
        CMDialog1.DialogTitle = tr("Enregistrer Sous");
        CMDialog1.Filter = tr("Image en mode point  (*.BMP)|*.BMP");
        CMDialog1.FilterIndex = 1;
        CMDialog1.Flags = CommonDialog::OverwritePrompt;
        CMDialog1.ShowSave();
        m_st.CurrentFilePath = CMDialog1.FileName;
        if (!m_st.CurrentFilePath.isEmpty())
            saveBmp(toSrgb(shown, m_picture.colours), m_st.CurrentFilePath);
    } catch (const DialogCancelled&) {
    }
    CMDialog1.CancelError = false;
    CMDialog1.Flags = 0;
}

void Lumenta::printShownPicture() {
    const QString path = shownPicturePath();
    if (path.isEmpty())
        return;
    ImpIMG imp(m_ctx, printer(), this);
    if (m_picture.isTiled())
        imp.fillTiled(m_picture, m_overview, path);
    else
        imp.fill(Open->displayedImage(), path, m_picture.colours);
    imp.exec();
}

QString Lumenta::shownPicturePath() const {
    return Open->isHidden() ? QString() : m_shownPath;
}

QPrinter& Lumenta::printer() {
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        // The first queue when none is the default, and the orientation
        // the user's CUPS defaults give it.
        OrImp::SelectPrinter(*m_printer);
    }
    return *m_printer;
}

void Lumenta::ConfIMP() {
    CMDialog1.Flags = CommonDialog::PrintSetup;
    try {
        CMDialog1.ShowPrinter(printer());
    } catch (const PrinterUnavailable&) {
        m_ctx.dlg().message(tr("Erreur imprimante !"), tr("Erreur"), MsgIcon::Stop, MsgButtons::Ok,
                            this);
    } catch (const DialogCancelled&) {
    }
    CMDialog1.Flags = 0;
}

} // namespace lumenta
