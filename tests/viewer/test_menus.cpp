#include "about/frmabout.h"
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
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace lumenta;
using Kind = ScriptedDialogs::Asked::Kind;

TEST_F(ViewerTest, EveryWindowCommandIsAvailable) {
    start();
    w->Mnu_Fichier_Open();
    Q_EMIT w->Mnu_Affichage->aboutToShow();
    EXPECT_TRUE(w->Mnu_AfficheVignette->isEnabled() && w->Command9->isEnabled());
    EXPECT_TRUE(w->Command3->isEnabled());
    EXPECT_TRUE(w->Mnu_CDPlay->isEnabled());
    EXPECT_TRUE(w->Mnu_Utilitaire->isEnabled() && w->Command8->isEnabled());
    EXPECT_TRUE(w->Mnu_ConvertIMG->isEnabled() && w->Command11->isEnabled());
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

TEST_F(ViewerTest, EraseHidesThePictureAndCopyFollows) {
    addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"));
    start();
    click(QStringLiteral("baseline.jpg"));
    w->Mnu_Edition_Open();
    EXPECT_TRUE(w->Mnu_Copie->isEnabled());

    ctx.state.settings.SelectionListValid = 1;
    w->Command7->click();
    EXPECT_TRUE(w->Open->isHidden() && w->Image1->isHidden() && w->Command2->isHidden() &&
                w->Command10->isHidden());
    EXPECT_FALSE(w->Command6->isHidden());
    EXPECT_FALSE(w->Mnu_EnregSous->isEnabled() || w->Mnu_Pleinecran->isEnabled());
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
    const std::pair<const char*, const char*> names[] = {
        {"/images/chat.jpg", "/images/chat.BMP"},
        {"/images/photo.jpeg", "/images/photo.BMP"},
        {"/my.photos/scan", "/my.photos/scan.BMP"},
        {"/a/.hidden", "/a/.hidden.BMP"},
        {"", ""}};
    for (const auto& [name, proposed] : names)
        EXPECT_EQ(bitmapNameFor(QString::fromUtf8(name)), QString::fromUtf8(proposed)) << name;
}

TEST_F(ViewerTest, SaveAsBitmapWritesTheDisplayedPicture) {
    addFixture(QStringLiteral("pictures/samples/jpeg/progressive_copy.jpeg"),
               QStringLiteral("photo.jpeg"));
    start();
    w->Mnu_EnregSous->trigger(); // nothing shown: nothing asked
    EXPECT_TRUE(dialogs.asked.isEmpty());
    w->Combo1->setEditText(QStringLiteral("*.jpeg"));
    click(QStringLiteral("photo.jpeg"));
    const QString proposed = QDir(browse).filePath(QStringLiteral("photo.BMP"));

    // Cancel: nothing written, nothing said.
    w->Mnu_EnregSous->trigger();
    ASSERT_EQ(dialogs.count(Kind::File), 1);
    const FileDialogRequest& req = dialogs.asked.last().file;
    EXPECT_EQ(req.mode, FileDialogRequest::Mode::Save);
    const QString asked = QFileInfo(req.fileName).isAbsolute()
                              ? req.fileName
                              : QDir(req.directory).filePath(req.fileName);
    EXPECT_EQ(asked, proposed);
    EXPECT_FALSE(QFileInfo::exists(proposed));
    EXPECT_EQ(dialogs.count(Kind::Message), 0);

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

TEST_F(ViewerTest, PrinterSetupReportsOnlyRealFailures) {
    start();
    dialogs.printerAnswers = {PrinterDialogResult::Cancelled, PrinterDialogResult::Failed};
    w->Mnu_ConfIMP->trigger();
    EXPECT_EQ(dialogs.count(Kind::Message), 0);
    ASSERT_EQ(dialogs.count(Kind::Printer), 1);
    EXPECT_EQ(dialogs.asked.last().printer, PrinterDialogKind::Setup);
    w->Mnu_ConfIMP->trigger();
    EXPECT_EQ(dialogs.lastText(), QStringLiteral("Erreur imprimante !"));
}

TEST_F(ViewerTest, AboutWindowLooksForTheSystemTool) {
    start();
    FrmAbout about(ctx, w.get());
    EXPECT_FALSE(about.lblVersion->text().contains(QStringLiteral(" .")));
    // No tool on the path.
    const QByteArray path = qgetenv("PATH");
    QTemporaryDir bin;
    qputenv("PATH", bin.path().toUtf8());
    about.cmdSysInfo->click();
    EXPECT_EQ(dialogs.lastText(), QStringLiteral("Information Systeme introuvable !"));
    // The second tool of the list is there: it is started.
    const QString record = bin.filePath(QStringLiteral("started"));
    testutil::writeScript(bin, QStringLiteral("hardinfo"), ": > '" + record.toUtf8() + "'");
    about.StartSysInfo();
    qputenv("PATH", path);
    EXPECT_EQ(dialogs.count(Kind::Message), 1);
    ASSERT_TRUE(testutil::waitUntil([&] { return QFileInfo::exists(record); }, 5000));
}
