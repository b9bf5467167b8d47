// The conversion window driven as a user would: browse answers, typing in
// the boxes, the scroll bar, the buttons and the questions they raise.
#include "convert/frmconvertimg.h"
#include "picture/pictureservice.h"
#include "support/scripteddialogs.h"
#include "support/testutil.h"

#include <QFile>
#include <QImageReader>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace lumenta;
using testutil::readFile;

namespace {

class ConvertWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ctx.dialogs = &dialogs;
        ctx.pictureService = std::make_shared<PictureService>();
        w = std::make_unique<FrmConvertIMG>(ctx);
        w->show();
    }
    // Clicks a conversion button and waits until the conversion ended.
    void convert(QPushButton* button) {
        ASSERT_TRUE(button->isEnabled());
        button->click();
        EXPECT_TRUE(testutil::waitUntil([&] { return !w->isConverting(); }, 20000));
    }

    QTemporaryDir dir;
    AppContext ctx;
    ScriptedDialogs dialogs;
    std::unique_ptr<FrmConvertIMG> w;
};

} // namespace

TEST_F(ConvertWindow, BrowsingProposesTheDestinationAndCancelKeepsTheBoxes) {
    struct Case {
        QPushButton* browse;
        QLineEdit *source, *destination;
        QString filter, chosen, proposed;
    } cases[] = {
        {w->Command5, w->Text1, w->Text2, "Fichiers GIF|*.gif;*.jif", "/images/photo.gif",
         "/images/photo.bmp"},
        {w->Command7, w->Text3, w->Text4, "Fichiers Bitmap BMP|*.bmp", "/a.b/photo.bmp",
         "/a.b/photo.gif"},
        {w->Command8, w->Text5, w->Text6, "Fichiers JPEG|*.jpg;*.jpe;*.jpeg", "/images/photo.jpeg",
         "/images/photo.bmp"},
        {w->Command9, w->Text7, w->Text8, "Fichiers Bitmap BMP|*.bmp", "/images/photo",
         "/images/photo.jpg"},
    };
    for (const Case& c : cases) {
        dialogs.fileAnswers = {{true, c.chosen}, {false, {}}};
        c.browse->click();
        ASSERT_FALSE(dialogs.asked.isEmpty());
        EXPECT_EQ(dialogs.asked.last().file.filter, c.filter);
        EXPECT_EQ(c.source->text(), c.chosen);
        EXPECT_EQ(c.destination->text(), c.proposed);
        EXPECT_EQ(c.destination->toolTip(), c.proposed);
        c.browse->click(); // cancelled
        EXPECT_EQ(c.destination->text(), c.proposed);
    }
}

TEST_F(ConvertWindow, TheButtonFollowsTheLastBoxChanged) {
    EXPECT_FALSE(w->Command2->isEnabled());
    QTest::keyClicks(w->Text1, "a.gif");
    EXPECT_TRUE(w->Command2->isEnabled());
    w->Text2->setText(QStringLiteral("b"));
    w->Text2->clear();
    EXPECT_FALSE(w->Command2->isEnabled()); // even with a source
    QTest::keyClicks(w->Text1, "x");
    EXPECT_TRUE(w->Command2->isEnabled());
    EXPECT_FALSE(w->Command1->isEnabled() || w->Command4->isEnabled() || w->Command3->isEnabled());
}

TEST_F(ConvertWindow, TheSettingStaysWithin20And130InBothControls) {
    EXPECT_EQ(w->HScroll1->value(), 65);
    EXPECT_EQ(w->Text9->text(), "65");
    w->HScroll1->setValue(5);
    EXPECT_EQ(w->HScroll1->value(), 20);
    EXPECT_EQ(w->Text9->text(), "20");
    w->HScroll1->setValue(104);
    EXPECT_EQ(w->Text9->text(), "104");
    const std::pair<const char*, int> typed[] = {{"5", 20}, {"500", 130}, {"", 130}, {"7a0", 70}};
    for (const auto& [keys, value] : typed) {
        w->Text9->setFocus();
        w->Text9->selectAll();
        QTest::keyClick(w->Text9, Qt::Key_Backspace);
        QTest::keyClicks(w->Text9, keys);
        QTest::keyClick(w->Text9, Qt::Key_Return);
        EXPECT_EQ(w->HScroll1->value(), value) << keys;
        EXPECT_EQ(w->Text9->text(), QString::number(value)) << keys;
        EXPECT_EQ(w->compression(), value) << keys;
    }
}

TEST_F(ConvertWindow, AnExistingDestinationIsReplacedOnlyAfterYes) {
    const QString bmp = testutil::copyFixture(dir, QStringLiteral("pictures/samples/bmp/bmp24.bmp"),
                                              QStringLiteral("photo.bmp"));
    const QString jpg = testutil::writeFile(dir, QStringLiteral("photo.jpg"), "the original");
    w->Text7->setText(bmp);
    w->Text8->setText(jpg);
    w->HScroll1->setValue(130);
    dialogs.messageAnswers = {MsgResult::No};
    convert(w->Command3);
    ASSERT_NE(dialogs.lastMessage(), nullptr);
    EXPECT_EQ(dialogs.lastText(), "Le fichier " + jpg + " existe déjà. Voulez-vous le remplacer ?");
    EXPECT_EQ(dialogs.lastMessage()->buttons, MsgButtons::YesNo);
    EXPECT_EQ(dialogs.lastMessage()->defaultButton, MsgResult::No);
    EXPECT_EQ(readFile(jpg), "the original");

    dialogs.messageAnswers = {MsgResult::Yes};
    convert(w->Command3);
    EXPECT_EQ(QImageReader(jpg).format(), "jpeg");
    EXPECT_EQ(QImageReader(jpg).size(), QSize(203, 133));
    EXPECT_EQ(dialogs.count(ScriptedDialogs::Asked::Kind::Message), 2);
}

TEST_F(ConvertWindow, FailuresAndTheSameFileAreReportedAsErrors) {
    const QString bmp = testutil::copyFixture(dir, QStringLiteral("pictures/samples/bmp/bmp8.bmp"));
    const struct {
        QString source, destination, message;
    } cases[] = {
        {bmp, dir.path() + "/../" + QFileInfo(dir.path()).fileName() + "/bmp8.bmp",
         "est le fichier à convertir"},
        {dir.filePath("none.bmp"), dir.filePath("none.gif"), "introuvable"},
        {bmp, dir.filePath("no/folder.gif"), "le dossier n'existe pas"},
    };
    for (const auto& c : cases) {
        w->Text3->setText(c.source);
        w->Text4->setText(c.destination);
        convert(w->Command1);
        ASSERT_NE(dialogs.lastMessage(), nullptr);
        EXPECT_EQ(dialogs.lastMessage()->title, "Erreur");
        EXPECT_TRUE(dialogs.lastText().contains(c.message)) << dialogs.lastText().toStdString();
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"bmp8.bmp"});
}

TEST_F(ConvertWindow, APictureTooLargeToBeHeldWholeIsNotConverted) {
    // With no picture held whole, a JPEG comes by parts as a huge one does.
    ctx.pictureService->setLoadLimits(LoadLimits{0, QSize(64, 32)});
    const QString jpeg =
        testutil::copyFixture(dir, QStringLiteral("pictures/samples/jpeg/baseline.jpg"));
    w->SSTab1->setCurrentIndex(2);
    w->Text5->setText(jpeg);
    w->Text6->setText(dir.filePath("baseline.bmp"));
    convert(w->Command4);
    ASSERT_NE(dialogs.lastMessage(), nullptr);
    EXPECT_EQ(dialogs.lastMessage()->title, "Erreur");
    EXPECT_TRUE(dialogs.lastText().contains("ne tient pas entière en mémoire"))
        << dialogs.lastText().toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("baseline.bmp")));
}
