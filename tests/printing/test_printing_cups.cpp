// Printing through a private CUPS server on a unix socket, which dies with
// the test: a queue whose jobs land in a PDF, and one that refuses jobs.
#include "dialogs/qtdialogs.h"
#include "printing/orimp.h"
#include "printtestutil.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>

using namespace lumenta;

namespace {

class PrivateCups {
public:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString socket() const { return path(QStringLiteral("cups.sock")); }
    QString output() const { return path(QStringLiteral("out/job.pdf")); }

    bool start() {
        const QString d = m_dir.path();
        // Filters run as the lp user when the server runs as root.
        ::chmod(QFile::encodeName(d).constData(), 0755);
        for (const char* sub : {"spool", "tmp", "cache", "state", "log", "ppd", "out"}) {
            QDir(d).mkdir(QLatin1String(sub));
            ::chmod(QFile::encodeName(path(QLatin1String(sub))).constData(), 01777);
        }
        testutil::writeFile(m_dir, QStringLiteral("cupsd.conf"),
                            "Listen " + socket().toUtf8() +
                                "\nBrowsing No\nDefaultAuthType None\n<Policy default>\n"
                                "JobPrivateAccess all\nJobPrivateValues none\n"
                                "SubscriptionPrivateAccess all\nSubscriptionPrivateValues none\n"
                                "<Limit All>\nOrder deny,allow\nAllow all\n</Limit>\n</Policy>\n"
                                "<Location />\nOrder allow,deny\nAllow all\n</Location>\n");
        testutil::writeFile(
            m_dir, QStringLiteral("cups-files.conf"),
            QStringLiteral(
                "ServerRoot %1\nRequestRoot %1/spool\nTempDir %1/tmp\nCacheDir %1/cache\n"
                "StateDir %1/state\nAccessLog %1/log/access\nErrorLog %1/log/error\n"
                "PageLog %1/log/page\nFileDevice Yes\nSandboxing Relaxed\n")
                .arg(d)
                .toUtf8());
        m_cupsd.setProcessChannelMode(QProcess::ForwardedChannels);
        // Whatever ends the test (a crash, a timeout) ends the server.
        m_cupsd.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_cupsd.start(QStringLiteral("/usr/sbin/cupsd"),
                      {"-f", "-c", path("cupsd.conf"), "-s", path("cups-files.conf")});
        // The socket's file comes before the server listens: ready once it takes a connection.
        return m_cupsd.waitForStarted() &&
               testutil::waitUntil([&] { return accepts(socket()); }, 10000);
    }

    ~PrivateCups() {
        m_cupsd.terminate();
        if (!m_cupsd.waitForFinished(5000))
            m_cupsd.kill();
        m_cupsd.waitForFinished(1000);
    }

private:
    static bool accepts(const QString& socketPath) {
        http_t* http = httpConnect2(QFile::encodeName(socketPath).constData(), 0, nullptr,
                                    AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 1000, nullptr);
        httpClose(http);
        return http != nullptr;
    }

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/lumenta-cups-XXXXXX")};
    QProcess m_cupsd;
};

auto cups = std::make_unique<PrivateCups>();
const bool isolated = printtest::isolate(cups->socket());

bool run(const QString& program, const QStringList& args) {
    return QProcess::execute(program, args) == 0;
}

// Waits until the server has written the job's PDF and holds no job.
bool jobPrinted() {
    return testutil::waitUntil(
        [] {
            cups_job_t* jobs = nullptr;
            const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ACTIVE);
            cupsFreeJobs(n, jobs);
            return n == 0 && QFileInfo::exists(cups->output());
        },
        60000);
}

} // namespace

class CupsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const QString ppd =
            QStringLiteral("/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd");
        serverReady =
            isolated && cups->start() &&
            run("lpadmin", {"-p", "pdfq", "-E", "-v", "file://" + cups->output(), "-P", ppd}) &&
            run("lpadmin", {"-d", "pdfq"}) &&
            run("lpadmin", {"-p", "refuse", "-E", "-v", "file:///dev/null", "-P", ppd}) &&
            run("cupsreject", {"refuse"});
    }
    static void TearDownTestSuite() { cups.reset(); }
    void SetUp() override {
        ASSERT_TRUE(serverReady);
        ctx.dialogs = &dialogs;
        QFile::remove(lpoptions);
    }
    // The user's options file holds text, or is absent when text is empty.
    void writeLpoptions(const QByteArray& text) {
        QFile::remove(lpoptions);
        if (text.isEmpty())
            return;
        QDir().mkpath(QFileInfo(lpoptions).path());
        QFile f(lpoptions);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(text) == text.size());
    }

    static bool serverReady;
    const QString lpoptions = qEnvironmentVariable("HOME") + QStringLiteral("/.cups/lpoptions");
    AppContext ctx;
    ScriptedDialogs dialogs;
    QPrinter printer{QPrinter::HighResolution};
};
bool CupsTest::serverReady = false;

TEST_F(CupsTest, OrientationRoundTripThroughLpoptions) {
    ASSERT_TRUE(OrImp::SelectPrinter(printer));
    EXPECT_EQ(printer.printerName(), QStringLiteral("pdfq"));
    const std::pair<const char*, int> stored[] = {{"orientation-requested=5", 2},
                                                  {"orientation-requested=6", 1},
                                                  {"landscape", 2},
                                                  {"landscape=false", 1}};
    for (const auto& [option, orientation] : stored) {
        writeLpoptions("Dest pdfq " + QByteArray(option));
        OrImp::ApplyStoredOrientation(printer);
        EXPECT_EQ(OrImp::PrinterOrientation(printer), orientation) << option;
    }

    OrImp orImp;
    EXPECT_EQ(orImp.SetLandscape(printer), OrImpResult::Ok);
    EXPECT_EQ(OrImp::PrinterOrientation(printer), 2);
    const QByteArray written = testutil::readFile(lpoptions);
    EXPECT_TRUE(written.contains("orientation-requested=4")) << written.constData();
    EXPECT_FALSE(written.contains("landscape")) << written.constData();
    QPrinter later;
    ASSERT_TRUE(OrImp::SelectPrinter(later));
    EXPECT_EQ(OrImp::PrinterOrientation(later), 2);
}

TEST_F(CupsTest, JobsLandWhereTheWindowPlacesThem) {
    ASSERT_TRUE(OrImp::SelectPrinter(printer));
    // A landscape page comes out a quarter turned counter-clockwise on the portrait sheet.
    struct Case {
        QPushButton* ImpIMG::*button;
        const char* name;
        double left, top;
        QRectF ink;
    } cases[] = {{&ImpIMG::Command4, "Portrait", 20, 40, {20, 40, 79.5, 53}},
                 {&ImpIMG::Command5, "Paysage", 30, 12.5, {12.5, 297 - 30 - 79.5, 53, 79.5}}};
    for (const Case& c : cases) {
        QFile::remove(cups->output());
        ASSERT_TRUE(printtest::printThroughWindow(ctx, dialogs, printer, [&](ImpIMG& imp) {
            (imp.*c.button)->click();
            EXPECT_EQ(imp.Label11->text(), QLatin1String(c.name));
            imp.Option2->click();
            imp.Text3->setText(QString::number(c.top));
            imp.Text4->setText(QString::number(c.left));
        }));
        ASSERT_TRUE(jobPrinted());
        printtest::expectInk(cups->output(), 210, c.ink);
    }
    EXPECT_TRUE(dialogs.messageTexts().isEmpty());
}

TEST_F(CupsTest, QueueRefusingTheJobIsAPrinterError) {
    printer.setPrinterName(QStringLiteral("refuse"));
    ASSERT_TRUE(printtest::printThroughWindow(ctx, dialogs, printer, [](ImpIMG&) {}));
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("Erreur sur l'imprimante")});
    EXPECT_EQ(dialogs.lastMessage()->icon, MsgIcon::Stop);
}

TEST_F(CupsTest, JobKeepsTheLayoutsPaperUnlessThePrinterDialogPicksAnother) {
    // The queue's paper is Letter; the window centres 79.5 x 53 mm on A4.
    ASSERT_TRUE(OrImp::SelectPrinter(printer));
    const auto centred = [](QSizeF sheet) {
        return QRectF((sheet.width() - 79.5) / 2, (sheet.height() - 53) / 2, 79.5, 53);
    };
    const QSizeF a4(210, 297), a5(148, 210);
    // Through Qt's own print dialog (the paper chosen in it or not), then the scripted one.
    QtDialogs real;
    struct Case {
        Dialogs* dialogs;
        QString pick; // paper chosen in the dialog, none when empty
        QSizeF sheet;
    } cases[] = {{&real, {}, a4}, {&real, "A5", a5}, {&dialogs, {}, a4}, {&dialogs, "A5", a5}};
    for (const Case& c : cases) {
        SCOPED_TRACE((c.dialogs == &real ? "print dialog " : "scripted ") + c.pick.toStdString());
        QFile::remove(cups->output());
        ctx.dialogs = c.dialogs;
        printer.setPageSize(QPageSize(QPageSize::Letter));
        const ImpIMG* shown = nullptr;
        dialogs.onPrinterAccepted = [&](QPrinter& p) {
            if (!c.pick.isEmpty())
                p.setPageSize(QPageSize(QPageSize::A5));
        };
        // Qt's dialog: the paper is chosen in its properties dialog, then it is accepted.
        bool answered = false, picked = c.pick.isEmpty();
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* dlg = qobject_cast<QPrintDialog*>(modal)) {
                auto* properties = dlg->findChild<QPushButton*>(QStringLiteral("properties"));
                if (picked || !properties) {
                    EXPECT_TRUE(picked);
                    answered = true;
                    answer.stop();
                    dlg->accept();
                } else {
                    picked = true;
                    QMetaObject::invokeMethod(properties, &QPushButton::click,
                                              Qt::QueuedConnection);
                }
            } else if (auto* props = qobject_cast<QDialog*>(modal); props && props != shown) {
                auto* paper = props->findChild<QComboBox*>(QStringLiteral("pageSizeCombo"));
                EXPECT_TRUE(paper);
                if (paper)
                    paper->setCurrentIndex(paper->findText(c.pick));
                props->accept();
            }
        });
        answer.start(20);
        ASSERT_TRUE(printtest::printThroughWindow(ctx, dialogs, printer, [&](ImpIMG& imp) {
            shown = &imp;
            imp.Option2->click();
            imp.Check2->click();
        }));
        EXPECT_EQ(answered, c.dialogs == &real);
        ASSERT_TRUE(jobPrinted());
        printtest::expectInk(cups->output(), c.sheet.width(), centred(c.sheet));
        dialogs.printerAnswers.clear();
    }
    EXPECT_TRUE(dialogs.messageTexts().isEmpty());
}

TEST_F(CupsTest, OrientationButtonsChangeOnlyTheQueuesOrientation) {
    // The rest of the user's file stays: no default appears, one there is kept, other queues'
    // options too.
    struct Case {
        QByteArray before;
        QString defaultAfter;
    } cases[] = {{{}, {}},
                 {"Default refuse\n", "refuse"},
                 {"Default pdfq\n", "pdfq"},
                 {"Dest refuse sides=two-sided-long-edge\n", {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before.constData());
        writeLpoptions(c.before);
        QPrinter p;
        p.setPrinterName(QStringLiteral("pdfq"));
        ImpIMG imp(ctx, p);
        imp.fill(printtest::black(60, 40), QStringLiteral("/photos/black.jpg"));
        for (QPushButton* button : {imp.Command5, imp.Command4}) {
            button->click();
            const QByteArray after = testutil::readFile(lpoptions);
            const QRegularExpressionMatch line =
                QRegularExpression(QStringLiteral("^Default (\\S+)"),
                                   QRegularExpression::MultilineOption)
                    .match(QString::fromUtf8(after));
            EXPECT_EQ(line.captured(1), c.defaultAfter) << after.constData();
            const QByteArray wanted =
                button == imp.Command5 ? "orientation-requested=4" : "orientation-requested=3";
            EXPECT_TRUE(after.contains("Dest pdfq " + wanted) ||
                        after.contains("Default pdfq " + wanted))
                << after.constData();
            if (c.before.contains("sides="))
                EXPECT_TRUE(after.contains("Dest refuse sides=two-sided-long-edge"))
                    << after.constData();
        }
    }
    EXPECT_TRUE(dialogs.messageTexts().isEmpty());
}
