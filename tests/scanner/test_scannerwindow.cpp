// The scanner window as its user meets it, from the main window's commands.
#include "scannerfixture.h"

#include "picture/pictureloader.h"
#include "support/listutil.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QListWidget>
#include <QMenu>
#include <QProgressDialog>
#include <QScrollBar>

using namespace lumenta;

LUMENTA_SANE_CONFIG("sane");

namespace {

void openFileMenu(Scanner* s) {
    Q_EMIT s->Mnu_Fichier->aboutToShow();
    Q_EMIT s->Mnu_Edition->aboutToShow();
}

} // namespace

TEST_F(ScannerTest, ScanningLeavesTheClipboardAloneAndNewEmptiesTheWindow) {
    start();
    QClipboard* clip = QApplication::clipboard();
    clip->setText(QStringLiteral("mine"));
    ASSERT_TRUE(acquire(w->Mnu_AcquScanner, QStringLiteral("Couleur"), 75, ScanArea::A4));
    Scanner* s = window();
    ASSERT_TRUE(s && s->isVisible());
    EXPECT_EQ(s->picture().size(), QSize(620, 876));
    EXPECT_EQ(clip->text(), QStringLiteral("mine"));
    openFileMenu(s);
    EXPECT_TRUE(s->Mnu_Enregistrer->isEnabled() && s->Mnu_Copie->isEnabled());

    s->Mnu_Nouveau->trigger();
    openFileMenu(s);
    EXPECT_TRUE(s->picture().isNull());
    EXPECT_FALSE(s->Mnu_Enregistrer->isEnabled() || s->Mnu_Copie->isEnabled());
    s->Copie();
    EXPECT_EQ(clip->text(), QStringLiteral("mine"));

    // Scanning again from the window; only "Copier" fills the clipboard.
    ASSERT_TRUE(acquire(s->Mnu_Acquerir, QStringLiteral("Noir et blanc"), 75, ScanArea::Letter));
    EXPECT_EQ(s->picture().size(), QSize(637, 824));
    EXPECT_EQ(clip->text(), QStringLiteral("mine"));
    s->Mnu_Copie->trigger();
    EXPECT_EQ(clip->image().size(), QSize(637, 824));
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(ScannerTest, SavesAsBmpAndTheMainListShowsItAfterClosing) {
    start();
    ASSERT_TRUE(acquire(w->Mnu_AcquScanner, QStringLiteral("Niveaux de gris"), 75, ScanArea::A4));
    Scanner* s = window();
    const QString path = QDir(browse).filePath(QStringLiteral("scan.bmp"));

    // A name without extension gets ".bmp"; the resolution is kept.
    dialogs.fileAnswers.push_back({true, QDir(browse).filePath(QStringLiteral("scan")), 1});
    s->Mnu_Enregistrer->trigger();
    ASSERT_EQ(dialogs.count(ScriptedDialogs::Asked::Kind::File), 1);
    const QImage back = loadPicture(path).image;
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32),
              s->picture().convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(back.dotsPerMeterX(), 2953);
    EXPECT_TRUE(ctx.state.CurrentFilePath.isEmpty());

    // The last name is proposed again and replaced only after the question.
    const QByteArray before = testutil::readFile(path);
    s->Nouveau();
    ASSERT_TRUE(acquire(s->Mnu_Acquerir, QStringLiteral("Couleur")));
    dialogs.fileAnswers.push_back({true, path, 1});
    dialogs.messageAnswers.push_back(MsgResult::No);
    s->Mnu_Enregistrer->trigger();
    EXPECT_EQ(dialogs.asked.at(dialogs.asked.size() - 2).file.fileName, path);
    EXPECT_EQ(dialogs.lastMessage()->buttons, MsgButtons::YesNo);
    EXPECT_EQ(testutil::readFile(path), before);

    // A failed save says so and leaves nothing.
    const QString bad = QDir(browse).filePath(QStringLiteral("absent/x.bmp"));
    dialogs.fileAnswers.push_back({true, bad, 1});
    s->Mnu_Enregistrer->trigger();
    EXPECT_EQ(dialogs.lastMessage()->title, QStringLiteral("Erreur"));
    EXPECT_FALSE(QFileInfo::exists(bad));

    QFile::remove(path);
    dialogs.fileAnswers.push_back({true, path, 1});
    s->Mnu_Enregistrer->trigger();
    EXPECT_LT(w->File1->rowOf(QStringLiteral("scan.bmp")), 0);
    s->Mnu_Fermer->trigger();
    EXPECT_TRUE(testutil::waitUntil([this] { return window() == nullptr; }));
    ASSERT_TRUE(testutil::waitListed(w->File1));
    EXPECT_GE(w->File1->rowOf(QStringLiteral("scan.bmp")), 0);
}

TEST_F(ScannerTest, CancelsAndFailuresKeepThePreviousPicture) {
    start();
    ASSERT_TRUE(acquire(w->Mnu_AcquScanner, QStringLiteral("Niveaux de gris"), 75, ScanArea::A4));
    Scanner* s = window();
    const QImage first = s->picture();
    ScannerCommands* sc = commands();

    // The settings dialog shows the last choices; cancelling it changes nothing.
    ScanSettingsDialog* settings = settingsFor(s->Mnu_Acquerir);
    ASSERT_TRUE(settings);
    const ScanSettings shown = settings->settings();
    EXPECT_TRUE(shown.mode == QStringLiteral("Gray") && shown.dpi == 75 &&
                shown.area == ScanArea::A4);
    settings->buttons->button(QDialogButtonBox::Cancel)->click();
    ASSERT_TRUE(testutil::waitUntil([sc] { return !sc->busy(); }));
    EXPECT_EQ(sc->settingsDialog(), nullptr);

    // A slow scan: both windows refuse another one until its progress dialog's Cancel.
    sc->session().deviceOptions = scantest::slow;
    sc->session().deviceOptions.append(ScanOption{"read-return-value", "Default"});
    std::optional<ScanResult::Status> ended;
    QObject::connect(&sc->engine(), &ScanEngine::scanned,
                     [&ended](const ScanResult& r) { ended = r.status; });
    const QPointer<QProgressDialog> before = sc->progressDialog();
    settings = settingsFor(s->Mnu_Acquerir);
    ASSERT_TRUE(settings);
    settings->buttons->button(QDialogButtonBox::Ok)->click();
    QProgressDialog* progress = progressOf(before);
    ASSERT_TRUE(progress);
    EXPECT_FALSE(s->Mnu_Acquerir->isEnabled() || s->Mnu_SelectSource->isEnabled() ||
                 w->Mnu_AcquScanner->isEnabled() || w->Mnu_SelectSource->isEnabled());
    auto* cancel = progress->findChild<QPushButton*>();
    ASSERT_TRUE(cancel && cancel->isVisible());
    cancel->click();
    ASSERT_TRUE(testutil::waitUntil([sc] { return !sc->busy(); }, 5000));
    EXPECT_EQ(ended, ScanResult::Status::Cancelled);
    EXPECT_EQ(sc->progressDialog(), nullptr);
    EXPECT_EQ(s->picture(), first);
    EXPECT_TRUE(s->Mnu_Acquerir->isEnabled() && w->Mnu_AcquScanner->isEnabled());
    EXPECT_TRUE(dialogs.asked.isEmpty());

    // A device error: the memory message here, silence in the main window.
    const QList<ScanOption> error{{"read-return-value", "SANE_STATUS_IO_ERROR"}};
    ASSERT_TRUE(acquire(s->Mnu_Acquerir, {}, 0, {}, error));
    ASSERT_EQ(dialogs.asked.size(), 1);
    EXPECT_EQ(dialogs.lastText(), QStringLiteral("Pas assez de mémoire !"));
    ASSERT_TRUE(acquire(w->Mnu_AcquScanner, {}, 0, {}, error));
    EXPECT_EQ(dialogs.asked.size(), 1);
    EXPECT_EQ(s->picture(), first);
}

TEST_F(ScannerTest, ClosingTheWindowAbandonsItsAcquisitionAtAnyStage) {
    start();
    ScannerCommands* sc = commands();
    std::optional<ScanResult::Status> ended;
    QObject::connect(&sc->engine(), &ScanEngine::scanned,
                     [&ended](const ScanResult& r) { ended = r.status; });
    const char* stages[] = {"device opening", "settings dialog", "scanning"};
    for (const char* stage : stages) {
        ASSERT_TRUE(
            acquire(w->Mnu_AcquScanner, QStringLiteral("Niveaux de gris"), 75, ScanArea::A4));
        Scanner* s = window();
        ASSERT_TRUE(s && s->isVisible()) << stage;
        sc->session().deviceOptions = scantest::slow;
        ended.reset();
        if (stage == stages[0]) {
            // Closed before the device has answered.
            s->Mnu_Acquerir->trigger();
            ASSERT_TRUE(sc->busy());
        } else {
            ScanSettingsDialog* settings = settingsFor(s->Mnu_Acquerir);
            ASSERT_TRUE(settings) << stage;
            if (stage == stages[2]) {
                const QPointer<QProgressDialog> before = sc->progressDialog();
                settings->buttons->button(QDialogButtonBox::Ok)->click();
                ASSERT_TRUE(progressOf(before)) << stage;
            }
        }
        s->Mnu_Fermer->trigger();
        ASSERT_TRUE(testutil::waitUntil(
            [sc] { return !sc->busy() && !sc->engine().busy() && !sc->window(); }, 10000))
            << stage;
        // Nothing comes afterwards: no dialog, no window with a scan.
        testutil::waitUntil([] { return false; }, 300);
        for (QWidget* top : QApplication::topLevelWidgets())
            EXPECT_FALSE(top->isVisible() && top != w.get())
                << stage << ' ' << top->objectName().toStdString();
        EXPECT_TRUE(sc->settingsDialog() == nullptr && sc->progressDialog() == nullptr) << stage;
        EXPECT_EQ(sc->window(), nullptr) << stage;
        EXPECT_EQ(ended,
                  stage == stages[2] ? std::optional(ScanResult::Status::Cancelled) : std::nullopt)
            << stage;
        EXPECT_TRUE(w->Mnu_AcquScanner->isEnabled()) << stage;
    }
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(ScannerTest, AnA4At300DpiScrollsToItsFarSide) {
    start();
    ASSERT_TRUE(acquire(w->Mnu_AcquScanner, QStringLiteral("Niveaux de gris"), 300, ScanArea::A4));
    Scanner* s = window();
    ASSERT_EQ(s->picture().size(), QSize(2480, 3507));
    EXPECT_TRUE(dialogs.asked.isEmpty());
    for (QSize size : {QSize(640, 480), QSize(900, 700)}) {
        s->resize(size);
        ASSERT_TRUE(testutil::waitUntil([&] { return s->size() == size; }));
        const QSize view = s->PicFond->size();
        EXPECT_EQ(s->VScroll1->maximum(), 3507 - view.height());
        EXPECT_EQ(s->HScroll1->maximum(), 2480 - view.width());
        s->VScroll1->setValue(s->VScroll1->maximum());
        s->HScroll1->setValue(s->HScroll1->maximum());
        EXPECT_EQ(s->PicImage->geometry().bottomRight(),
                  QPoint(view.width() - 1, view.height() - 1));
    }
}

TEST_F(ScannerTest, ResolutionAdviceAndSourceChoice) {
    start();
    ASSERT_TRUE(acquire(w->Mnu_AcquScanner));
    window()->Mnu_Résolution->trigger();
    EXPECT_EQ(dialogs.count(ScriptedDialogs::Asked::Kind::Message), 1);

    ScannerCommands* sc = commands();
    for (const char* want : {"test:1", "test:1"}) {
        w->Mnu_SelectSource->trigger();
        ASSERT_TRUE(testutil::waitUntil(
            [sc] { return sc->sourceDialog() && sc->sourceDialog()->lstDevices->count() == 2; }));
        SourceDialog* d = sc->sourceDialog();
        EXPECT_EQ(d->lstDevices->item(0)->text(),
                  QStringLiteral("Noname frontend-tester (test:0)"));
        if (sc->session().device.isEmpty()) {
            d->lstDevices->setCurrentRow(1);
            d->accept();
        } else {
            EXPECT_EQ(d->chosen(), QLatin1String(want)); // the choice is shown again
            d->reject();
        }
        ASSERT_TRUE(testutil::waitUntil([sc] { return !sc->busy(); }));
        EXPECT_EQ(sc->session().device, QLatin1String(want));
    }
    ASSERT_TRUE(acquire(w->Mnu_AcquScanner));
    EXPECT_FALSE(window()->picture().isNull());
}
