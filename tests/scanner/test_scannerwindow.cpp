// Scanning from SANE's virtual "test" scanner: its pictures, every kind of
// frame it can send, options set by name, frames whose parameters announce
// more than any picture may hold; then the scanner window as its user meets
// it, from the main window's commands.
#include "scannerfixture.h"

#include "picture/pictureloader.h"
#include "scanner/frameassembler.h"
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

ScanRequest request(const QString& mode, int depth, ScanArea area, const QString& picture,
                    QList<ScanOption> more = {}) {
    ScanRequest r;
    r.device = QStringLiteral("test:0");
    r.settings = {mode, depth, 75, area};
    // The device keeps its options from one scan to the next.
    r.options = {{"test-picture", picture}, {"three-pass", false},
                 {"ppl-loss", 0},           {"fuzzy-parameters", false},
                 {"hand-scanner", false},   {"read-limit", false},
                 {"read-delay", false},     {"read-return-value", "Default"}};
    r.options += more;
    return r;
}

// The pixels at (x, y) are of these colours (alpha left out).
void expectPixels(const QImage& img, std::initializer_list<std::tuple<int, int, QRgb>> pixels) {
    for (const auto& [x, y, colour] : pixels)
        EXPECT_EQ(img.pixel(x, y) & 0xffffff, colour & 0xffffff) << x << ',' << y;
}

const QString Color = QStringLiteral("Color"), Gray = QStringLiteral("Gray");
const QString Pattern = QStringLiteral("Color pattern"), Grid = QStringLiteral("Grid");
const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);

void openFileMenu(Scanner* s) {
    Q_EMIT s->Mnu_Fichier->aboutToShow();
    Q_EMIT s->Mnu_Edition->aboutToShow();
}

} // namespace

class ScanEngineTest : public ::testing::Test {
protected:
    ScanResult scan(const QString& mode, int depth, ScanArea area, const QString& picture,
                    const QList<ScanOption>& more = {}) {
        return scantest::scan(engine, request(mode, depth, area, picture, more));
    }
    ScanEngine engine;
};

TEST_F(ScanEngineTest, PatternAndGridAtSeventyFiveDpi) {
    // The colour pattern: blocks of 4 pixels, ramps of red, green and blue
    // that run up on even bands and down on odd ones, 5 lines a band.
    ScanResult r = scan(Color, 8, ScanArea::A4, Pattern);
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.image.size(), QSize(620, 876)); // 210 x 297 mm
    EXPECT_EQ(r.image.dotsPerMeterX(), 2953);
    expectPixels(r.image, {{0, 1, qRgb(0x55, 0x55, 0x55)},
                           {6, 1, qRgb(1, 0, 0)},
                           {51, 6, qRgb(245, 0, 0)},
                           {51, 11, qRgb(0, 10, 0)},
                           {51, 26, qRgb(0, 0, 245)}});

    // The grid: squares of 10 mm (29.5 pixels), white in the top-left corner.
    r = scan(Gray, 8, ScanArea::WholeBed, Grid);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.image.size(), QSize(885, 885)); // the 300 mm bed
    expectPixels(r.image, {{0, 0, white}, {35, 0, black}, {0, 40, black}, {35, 40, white}});
    EXPECT_EQ(scan(Color, 8, ScanArea::Letter, Grid).image.size(), QSize(637, 824));
}

TEST_F(ScanEngineTest, SamplesOfEveryDepth) {
    // 16-bit gray: the high byte is the column in the block, the low byte
    // the line; samples come in the host's byte order.
    ScanResult r = scan(Gray, 16, ScanArea::A4, Pattern);
    ASSERT_TRUE(r.ok());
    expectPixels(r.image, {{14, 20, qRgb(10, 10, 10)}, {204, 5, qRgb(200, 200, 200)}});
    r = scan(Gray, 16, ScanArea::A4, Pattern, {{QStringLiteral("invert-endianess"), true}});
    expectPixels(r.image, {{14, 20, qRgb(16, 16, 16)}});

    // Line art: 1 is black, in blocks of 16 pixels shifted on the second half.
    r = scan(Gray, 1, ScanArea::A4, Pattern);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.image.format(), QImage::Format_Mono);
    EXPECT_EQ(r.image.size(), QSize(620, 876));
    expectPixels(r.image, {{0, 0, white}, {20, 0, black}, {0, 20, black}, {20, 20, white}});
    // White is 0 in gray line art and 1 in colour at 1 bit.
    for (const QString& mode : {Gray, Color}) {
        SCOPED_TRACE(mode.toStdString());
        expectPixels(scan(mode, 1, ScanArea::A4, QStringLiteral("Solid white")).image,
                     {{100, 100, white}});
    }
}

TEST_F(ScanEngineTest, QuirksOfDevicesGiveThePlainPicture) {
    const ScanResult plain = scan(Color, 8, ScanArea::A4, Pattern);
    ASSERT_TRUE(plain.ok());
    const QImage reference = plain.image.convertToFormat(QImage::Format_RGB32);
    struct Case {
        const char* what;
        QList<ScanOption> options;
        int lostPixels = 0;
    };
    const QList<Case> cases = {
        {"three passes, RGB", {{"three-pass", true}}},
        {"three passes, GBR", {{"three-pass", true}, {"three-pass-order", "GBR"}}},
        {"three passes, BRG", {{"three-pass", true}, {"three-pass-order", "BRG"}}},
        {"padded lines", {{"ppl-loss", 7}}, 7},
        {"wrong parameters before the start", {{"fuzzy-parameters", true}}},
        {"short reads", {{"read-limit", true}, {"read-limit-size", 999}}},
    };
    for (const Case& c : cases) {
        const ScanResult r = scan(Color, 8, ScanArea::A4, Pattern, c.options);
        ASSERT_TRUE(r.ok()) << c.what << ": " << r.error.toStdString();
        const QImage want = reference.copy(0, 0, reference.width() - c.lostPixels, 876);
        EXPECT_EQ(r.image.convertToFormat(QImage::Format_RGB32), want) << c.what;
    }

    // A hand scanner does not know the height in advance: 11 x 17 cm.
    const ScanResult hand =
        scan(Gray, 8, ScanArea::A4, Grid, {{QStringLiteral("hand-scanner"), true}});
    ASSERT_TRUE(hand.ok());
    EXPECT_EQ(hand.image.size(), QSize(324, 501));
    expectPixels(hand.image, {{35, 40, white}, {0, 40, black}});
}

TEST_F(ScanEngineTest, OptionsFollowTheirDescriptors) {
    ScanRequest r = request(QStringLiteral("gray"), 8, ScanArea::A4, Pattern,
                            {{"three-pass", true},          // inactive in gray
                             {"enable-test-options", true}, // reloads the options
                             {"bool-soft-detect", true},    // read-only
                             {"int-inexact", 17},           // the device adds one
                             {"int-constraint-range", 7},   // 4 to 192 by 2
                             {"int-constraint-word-list", 300},
                             {"no-such-option", 1}});
    r.settings.dpi = 74.6;
    const ScanResult res = scantest::scan(engine, r);
    ASSERT_TRUE(res.ok()) << res.error.toStdString();
    const std::pair<const char*, QVariant> applied[] = {
        {"mode", QStringLiteral("Gray")}, {"three-pass", {}},  {"bool-soft-detect", {}},
        {"no-such-option", {}},           {"int-inexact", 18}, {"int-constraint-range", 8},
        {"int-constraint-word-list", 256}};
    for (const auto& [name, value] : applied)
        EXPECT_EQ(res.appliedValue(QLatin1String(name)), value) << name;
    EXPECT_EQ(res.dpi, 75); // quantised to whole dots per inch
    EXPECT_EQ(res.image.size(), QSize(620, 876));
}

TEST_F(ScanEngineTest, ErrorStatusesAndCancel) {
    const ScanResult r = scan(Gray, 8, ScanArea::A4, Pattern,
                              {{QStringLiteral("read-return-value"), "SANE_STATUS_IO_ERROR"}});
    EXPECT_EQ(r.status, ScanResult::Status::Failed);
    EXPECT_TRUE(r.image.isNull());
    ScanRequest missing = request(Gray, 8, ScanArea::A4, Pattern);
    missing.device = QStringLiteral("test:9");
    EXPECT_EQ(scantest::scan(engine, missing).status, ScanResult::Status::Failed);

    // A slow scan stops when cancelled, and the engine scans again after.
    std::optional<ScanResult> slow;
    QObject::connect(&engine, &ScanEngine::scanned, [&slow](const ScanResult& s) { slow = s; });
    bool progressed = false;
    QObject::connect(&engine, &ScanEngine::progress, [&progressed] { progressed = true; });
    engine.scan(request(Color, 8, ScanArea::A4, Pattern, scantest::slow));
    ASSERT_TRUE(testutil::waitUntil([&] { return progressed; }, 20000));
    EXPECT_TRUE(engine.busy());
    engine.cancel();
    ASSERT_TRUE(testutil::waitUntil([&] { return slow.has_value(); }, 10000));
    EXPECT_EQ(slow->status, ScanResult::Status::Cancelled);
    EXPECT_FALSE(engine.busy());
    EXPECT_TRUE(scan(Gray, 8, ScanArea::A4, Pattern).ok());
}

// Scanners report any values: a frame too large is refused before anything
// is reserved for it; the largest allowed still starts.
TEST(FrameAssembler, PictureSizeIsBoundedByTheAllocationLimit) {
    using Format = FrameParams::Format;
    constexpr qint64 limit = qint64(kPictureAllocationLimitMB) << 20;
    const struct {
        FrameParams params;
        bool starts;
    } cases[] = {
        // 60 GB announced: refused, not reserved.
        {{Format::RGB, true, 600000, 200000, 100000, 8}, false},
        // 1-bit colour lines whose 8-bit row would overflow an int.
        {{Format::RGB, true, 300000000, 800000000, -1, 1}, false},
        // Gray just over and just at the limit.
        {{Format::Gray, true, 1 << 16, 1 << 16, int(limit >> 16) + 1, 8}, false},
        {{Format::Gray, true, 1 << 16, 1 << 16, int(limit >> 16), 8}, true},
        // One red channel: the picture it makes is 24-bit.
        {{Format::Red, false, 1 << 16, 1 << 16, int(limit / 3 >> 16) + 1, 8}, false},
        {{Format::Red, false, 1 << 16, 1 << 16, int(limit / 3 >> 16), 8}, true},
    };
    for (const auto& c : cases) {
        FrameAssembler frames;
        QString error;
        EXPECT_EQ(frames.begin(c.params, &error), c.starts)
            << c.params.pixelsPerLine << " x " << c.params.lines;
        EXPECT_EQ(error.isEmpty(), c.starts);
    }
}

TEST(FrameAssembler, FrameOfUnknownHeightStillAssembles) {
    FrameAssembler frames;
    ASSERT_TRUE(frames.begin({FrameParams::Format::Gray, true, 4, 3, -1, 8}));
    const char data[] = "\x10\x20\x30\x00\x40\x50\x60";
    frames.append(data, 7); // the last line incomplete: dropped
    frames.end();
    const QImage img = frames.picture(0);
    ASSERT_EQ(img.size(), QSize(3, 1));
    EXPECT_EQ(qGray(img.pixel(2, 0)), 0x30);
}

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
        // The engine idle, its last result has been delivered: nothing can
        // come afterwards, no dialog, no window with a scan.
        ASSERT_TRUE(testutil::waitUntil(
            [sc] { return !sc->busy() && !sc->engine().busy() && !sc->window(); }, 10000))
            << stage;
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
