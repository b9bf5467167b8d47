#include "about/frmabout.h"
#include "app/version.h"
#include "fullscreen/frmplecr.h"
#include "picture/picturesaver.h"
#include "support/testutil.h"
#include "support/viewerfixture.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace lumenta;
using Kind = ScriptedDialogs::Asked::Kind;

namespace {

// "name:caption" of each entry of a menu, "-" for a separator.
QStringList entries(const QMenu* menu) {
    QStringList out;
    for (const QAction* a : menu->actions()) {
        if (a->isSeparator())
            out << QStringLiteral("-");
        else
            out << (a->menu() ? a->menu()->objectName() : a->objectName()) + QLatin1Char(':') +
                       a->text();
    }
    return out;
}

} // namespace

TEST_F(ViewerTest, MenuTreeInItsOrderWithStartStates) {
    start();
    QStringList titles;
    for (const QAction* a : w->menuBar()->actions())
        titles << a->menu()->objectName() + QLatin1Char(':') + a->text();
    EXPECT_EQ(titles, QStringList({"Mnu_Fichier:&Fichier", "Mnu_Edition:&Edition",
                                   "Mnu_Affichage:&Affichage", "Mnu_Aide:?"}));
    EXPECT_EQ(
        entries(w->Mnu_Fichier),
        QStringList(
            {"Mnu_EnregSous:Enregistrer Sous", "-", "Mnu_SelectSource:Sélectionner source...",
             "Mnu_AcquScanner:&Acquerir...(<12Mo)", "-", "Mnu_Imprimer:&Imprimer",
             "Mnu_ConfIMP:&Configurer l'imprimante", "-", "Mnu_Utilitaire:Utilitaire de copie",
             "Mnu_ConvertIMG:Conversion de format de fichier image", "-", "Mnu_Quitter:&Quitter"}));
    EXPECT_EQ(entries(w->Mnu_Edition), QStringList({"Mnu_Copie:&Copier dans le presse papier",
                                                    "Mnu_Coller:Co&ller dans une nouvelle image"}));
    EXPECT_EQ(entries(w->Mnu_Affichage),
              QStringList({"Mnu_AfficheVignette:Affichage par vignettes",
                           "Mnu_ListeSelect:Liste de séléction", "-", "Mnu_Parametres:&Paramétrage",
                           "Mnu_Pleinecran:&Plein écran", "Mnu_EffaceImage:&Effacer l'image", "-",
                           "Mnu_Diapo:&Diaporama", "-", "Mnu_CDPlay:CD Player"}));
    EXPECT_EQ(entries(w->Mnu_Aide),
              QStringList({"Mnu_Apropos:&A propos", "Mnu_Apropos2:A propos 2"}));
    EXPECT_FALSE(w->Mnu_Pleinecran->isEnabled());
    EXPECT_FALSE(w->Mnu_EffaceImage->isEnabled());
    EXPECT_FALSE(w->Mnu_Diapo->isEnabled());
    EXPECT_FALSE(w->Mnu_Coller->isVisible());
    // Placing the lists on the start folder counts as a folder change.
    EXPECT_FALSE(w->Mnu_EnregSous->isEnabled());
    EXPECT_TRUE(w->Mnu_Apropos->isEnabled());
    EXPECT_TRUE(w->Mnu_Apropos2->isEnabled());
}

TEST_F(ViewerTest, WindowsNotBuiltYetStayVisibleButDisabled) {
    start();
    for (QToolButton* b : {w->Command9, w->Command11})
        EXPECT_TRUE(!b->isHidden() && !b->isEnabled()) << b->objectName().toStdString();
    w->Mnu_Fichier_Open();
    Q_EMIT w->Mnu_Affichage->aboutToShow();
    for (QAction* a : {w->Mnu_ConvertIMG, w->Mnu_AfficheVignette})
        EXPECT_TRUE(a->isVisible() && !a->isEnabled()) << a->objectName().toStdString();
    EXPECT_TRUE(w->Command3->isEnabled());
    EXPECT_TRUE(w->Mnu_CDPlay->isEnabled());
    EXPECT_TRUE(w->Mnu_Utilitaire->isEnabled() && w->Command8->isEnabled());
}

TEST_F(ViewerTest, EveryDispatchEndsWithUnbuiltWindowsDisabled) {
    addFixture(QStringLiteral("pictures/samples/broken/text_renamed.jpg"), QStringLiteral("b.jpg"));
    addFixture(QStringLiteral("media/bad_garbage_header.wav"), QStringLiteral("s.wav"));
    start();
    w->Combo1->setEditText(QStringLiteral("*.*"));
    const QList<std::pair<QObject*, SecondaryWindow>> commands = {
        {w->Command5, SecondaryWindow::SelectionList},
        {w->Mnu_ListeSelect, SecondaryWindow::SelectionList},
        {w->Command6, SecondaryWindow::SlideshowSettings},
        {w->Mnu_Diapo, SecondaryWindow::SlideshowSettings}};
    // A picture that fails to load, then a sound (which fails too).
    for (const char* name : {"b.jpg", "s.wav"}) {
        SCOPED_TRACE(name);
        click(QLatin1String(name));
        EXPECT_FALSE(dialogs.asked.isEmpty());
        for (const auto& [control, id] : commands) {
            if (w->windows().available(id))
                continue;
            const QVariant enabled = control->property("enabled");
            EXPECT_FALSE(enabled.toBool()) << control->objectName().toStdString();
        }
        w->Command4->click();
    }
}

TEST_F(ViewerTest, PrintItemFollowsTheSelectedFileType) {
    addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"));
    testutil::writeFile(appDir, QStringLiteral("notes.txt"), "texte");
    start();
    // Pretend the printing window exists, to see the rule alone.
    w->windows().add(SecondaryWindow::Printing, [] {});
    w->Combo1->setEditText(QStringLiteral("*.*"));
    click(QStringLiteral("notes.txt"));
    w->Mnu_Fichier_Open();
    EXPECT_FALSE(w->Mnu_Imprimer->isEnabled());
    click(QStringLiteral("baseline.jpg"));
    w->Mnu_Fichier_Open();
    EXPECT_TRUE(w->Mnu_Imprimer->isEnabled());
    EXPECT_EQ(ctx.state.FullScreenFilePath, QDir(browse).filePath(QStringLiteral("baseline.jpg")));
}

TEST_F(ViewerTest, EraseHidesThePictureAndCopyFollows) {
    addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"));
    start();
    click(QStringLiteral("baseline.jpg"));
    w->Mnu_Edition_Open();
    EXPECT_TRUE(w->Mnu_Copie->isEnabled());

    ctx.state.settings.SelectionListValid = 1;
    w->Command7->click();
    EXPECT_TRUE(w->Open->isHidden());
    EXPECT_TRUE(w->Image1->isHidden());
    EXPECT_TRUE(w->Command2->isHidden());
    EXPECT_TRUE(w->Command10->isHidden());
    EXPECT_FALSE(w->Command6->isHidden());
    EXPECT_FALSE(w->Mnu_EnregSous->isEnabled());
    EXPECT_FALSE(w->Mnu_Pleinecran->isEnabled());
    EXPECT_TRUE(w->File1->hasFocus());
    // Ctrl+C follows the same rule, before the menu is opened again.
    QGuiApplication::clipboard()->setText(QStringLiteral("avant"));
    QTest::keyClick(w.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("avant"));
    EXPECT_FALSE(QGuiApplication::clipboard()->mimeData()->hasImage());
    w->Mnu_Edition_Open();
    EXPECT_FALSE(w->Mnu_Copie->isEnabled());
    // The picture stays loaded in the hidden controls.
    EXPECT_FALSE(w->Open->image().isNull());

    ctx.state.settings.SelectionListValid = 0;
    click(QStringLiteral("baseline.jpg"));
    w->Mnu_EffaceImage->trigger();
    EXPECT_TRUE(w->Command6->isHidden());
    click(QStringLiteral("baseline.jpg"));
    QTest::keyClick(w.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasImage());
    w->Mnu_Edition_Open();
    EXPECT_TRUE(w->Mnu_Copie->isEnabled());
}

TEST(SaveAsBitmap, ProposedNames) {
    EXPECT_EQ(bitmapNameFor(QStringLiteral("/images/chat.jpg")),
              QStringLiteral("/images/chat.BMP"));
    EXPECT_EQ(bitmapNameFor(QStringLiteral("/images/photo.jpeg")),
              QStringLiteral("/images/photo.BMP"));
    EXPECT_EQ(bitmapNameFor(QStringLiteral("/my.photos/scan")),
              QStringLiteral("/my.photos/scan.BMP"));
    EXPECT_EQ(bitmapNameFor(QStringLiteral("/a/.hidden")), QStringLiteral("/a/.hidden.BMP"));
    EXPECT_EQ(bitmapNameFor(QString()), QString());
}

TEST_F(ViewerTest, SaveAsBitmapWritesTheDisplayedPicture) {
    addFixture(QStringLiteral("pictures/samples/jpeg/progressive_copy.jpeg"),
               QStringLiteral("photo.jpeg"));
    start();
    w->Combo1->setEditText(QStringLiteral("*.jpeg"));
    click(QStringLiteral("photo.jpeg"));
    const QString proposed = QDir(browse).filePath(QStringLiteral("photo.BMP"));

    // Cancel: nothing written, nothing said.
    w->Mnu_EnregSous->trigger();
    ASSERT_EQ(dialogs.count(Kind::File), 1);
    const FileDialogRequest& req = dialogs.asked.last().file;
    EXPECT_EQ(req.mode, FileDialogRequest::Mode::Save);
    EXPECT_EQ(req.title, QStringLiteral("Enregistrer Sous"));
    EXPECT_EQ(req.filter, QStringLiteral("Image en mode point  (*.BMP)|*.BMP"));
    const QString asked = QFileInfo(req.fileName).isAbsolute()
                              ? req.fileName
                              : QDir(req.directory).filePath(req.fileName);
    EXPECT_EQ(asked, proposed);
    EXPECT_FALSE(QFileInfo::exists(proposed));
    EXPECT_EQ(dialogs.count(Kind::Message), 0);
    EXPECT_EQ(ctx.state.CurrentFilePath, proposed);
    EXPECT_FALSE(w->CMDialog1.CancelError);

    // Accepted: a real BMP of the displayed picture.
    const QString target = appDir.filePath(QStringLiteral("copie.bmp"));
    dialogs.fileAnswers.push_back({true, target, 1});
    w->Mnu_EnregSous->trigger();
    QImageReader reader(target);
    EXPECT_EQ(reader.format(), QByteArray("bmp"));
    const QImage saved = reader.read();
    const QImage shown = w->picture().image;
    ASSERT_EQ(saved.size(), shown.size());
    for (const QPoint& p : {QPoint(0, 0), QPoint(shown.width() / 2, shown.height() / 3),
                            QPoint(shown.width() - 1, shown.height() - 1)})
        EXPECT_EQ(saved.pixel(p), shown.pixel(p));
    EXPECT_EQ(ctx.state.CurrentFilePath, target);

    // Saving over it asks first; "Non" leaves the file alone.
    const QByteArray before = testutil::readFile(target);
    dialogs.fileAnswers.push_back({true, target, 1});
    dialogs.messageAnswers.push_back(MsgResult::No);
    w->Mnu_EnregSous->trigger();
    EXPECT_EQ(dialogs.count(Kind::Message), 1);
    EXPECT_EQ(testutil::readFile(target), before);
}

TEST_F(ViewerTest, SaveAsWithoutAPictureDoesNothing) {
    start();
    w->Mnu_EnregSous->trigger();
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(ViewerTest, PrinterSetupReportsOnlyRealFailures) {
    start();
    dialogs.printerAnswers = {PrinterDialogResult::Cancelled, PrinterDialogResult::Failed};
    w->Mnu_ConfIMP->trigger();
    EXPECT_EQ(dialogs.count(Kind::Message), 0);
    ASSERT_EQ(dialogs.count(Kind::Printer), 1);
    EXPECT_EQ(dialogs.asked.last().printer, PrinterDialogKind::Setup);
    w->Mnu_ConfIMP->trigger();
    ASSERT_NE(dialogs.lastMessage(), nullptr);
    EXPECT_EQ(dialogs.lastMessage()->text, QStringLiteral("Erreur imprimante !"));
    EXPECT_EQ(dialogs.lastMessage()->icon, MsgIcon::Stop);
}

TEST_F(ViewerTest, FullScreenFromTheButtonAndBackToTheList) {
    addFixture(QStringLiteral("pictures/samples/gif/static.gif"));
    start();
    click(QStringLiteral("static.gif"));
    bool sawWindow = false;
    QTimer::singleShot(50, [&] {
        if (auto* fs = qobject_cast<FrmPlEcr*>(QApplication::activeModalWidget())) {
            sawWindow = true;
            ASSERT_TRUE(testutil::waitUntil([&] { return fs->isPictureShown(); }, 5000));
            QTest::qWait(QApplication::doubleClickInterval() + 20);
            QTest::mouseClick(fs, Qt::LeftButton);
        }
    });
    QTimer::singleShot(8000, [] {
        if (QWidget* m = QApplication::activeModalWidget())
            m->close();
    });
    w->Command2->click();
    EXPECT_TRUE(sawWindow);
    EXPECT_EQ(ctx.state.FullScreenFilePath, ctx.state.CurrentFilePath);
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(ViewerTest, AboutWindowShowsTheVersionAndLooksForTheTool) {
    start();
    FrmAbout about(ctx, w.get());
    EXPECT_EQ(about.windowTitle(), QStringLiteral("A propos : Lumenta"));
    EXPECT_EQ(about.lblTitle->text(), QStringLiteral("Lumenta"));
    EXPECT_EQ(about.lblVersion->text(), QStringLiteral("Version %1.%2.%3")
                                            .arg(LUMENTA_VERSION_MAJOR)
                                            .arg(LUMENTA_VERSION_MINOR)
                                            .arg(LUMENTA_VERSION_PATCH));
    EXPECT_FALSE(about.lblVersion->text().contains(QStringLiteral(" .")));
    EXPECT_EQ(about.cmdSysInfo->text(), QStringLiteral("&Système Info..."));
    EXPECT_EQ(about.cmdSysInfo->toolTip(), QStringLiteral("Informations système"));

    // No tool on the path.
    const QByteArray path = qgetenv("PATH");
    QTemporaryDir bin;
    qputenv("PATH", bin.path().toUtf8());
    about.cmdSysInfo->click();
    ASSERT_NE(dialogs.lastMessage(), nullptr);
    EXPECT_EQ(dialogs.lastMessage()->text, QStringLiteral("Information Systeme introuvable !"));
    EXPECT_EQ(dialogs.lastMessage()->title, QStringLiteral("Lumenta"));
    EXPECT_EQ(dialogs.lastMessage()->buttons, MsgButtons::Ok);

    // The second tool of the list is there: it is started.
    const QString record = bin.filePath(QStringLiteral("started"));
    const QString tool = testutil::writeFile(
        bin, QStringLiteral("hardinfo"),
        (QStringLiteral("#!/bin/sh\n: > '") + record + QStringLiteral("'\n")).toUtf8());
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const int messages = dialogs.count(Kind::Message);
    about.StartSysInfo();
    qputenv("PATH", path);
    EXPECT_EQ(dialogs.count(Kind::Message), messages);
    ASSERT_TRUE(testutil::waitUntil([&] { return QFileInfo::exists(record); }, 5000));
}
