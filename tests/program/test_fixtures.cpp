// The shared test helpers say so when a fixture is missing, instead of
// handing an empty path to the steps that follow.
#include "support/testutil.h"
#include "support/viewerfixture.h"

#include <gtest/gtest-spi.h>

TEST(Fixtures, AMissingFixtureFailsTheTestThatAsksForIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString copy = QStringLiteral("unset");
    EXPECT_NONFATAL_FAILURE(copy = testutil::copyFixture(dir, QStringLiteral("no/such.jpg")),
                            "no/such.jpg");
    EXPECT_TRUE(copy.isEmpty());
    const QString gif =
        testutil::copyFixture(dir, QStringLiteral("pictures/samples/gif/static.gif"));
    EXPECT_TRUE(QFileInfo(gif).isFile());
}

class MissingFixture : public ViewerTest {
public:
    void run() {
        SetUp();
        addFixture(QStringLiteral("no/such.wav"));
        TearDown();
    }
    void TestBody() override {}
};

TEST(Fixtures, TheMainWindowsFixtureSaysSoToo) {
    MissingFixture t;
    EXPECT_NONFATAL_FAILURE(t.run(), "no/such.wav");
}
