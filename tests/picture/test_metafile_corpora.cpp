// Every WMF and EMF of the public test corpora through renderMetafile: the
// test process never crashes or hangs, sound files render, damaged ones fail
// with a reason.
#include "picture/metafile.h"
#include "support/testutil.h"

#include <QDirIterator>
#include <gtest/gtest.h>

using namespace lumenta;

namespace {

constexpr int kTimeoutMs = 10000;

QStringList corpusFiles() {
    QStringList files;
    QDirIterator it(testutil::fixture(QStringLiteral("pictures/corpora")),
                    {QStringLiteral("*.wmf"), QStringLiteral("*.emf")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

} // namespace

TEST(MetafileCorpora, EveryFileRendersOrFailsCleanly) {
    const QStringList files = corpusFiles();
    ASSERT_GE(files.size(), 150);
    int rendered = 0, refused = 0;
    for (const QString& path : files) {
        const QByteArray bytes = testutil::readFile(path);
        const bool damaged = path.contains(QLatin1String("corrupted"));
        const MetafileKind kind = detectMetafile(bytes);
        if (kind == MetafileKind::None) {
            EXPECT_TRUE(damaged) << path.toStdString();
            ++refused;
            continue;
        }
        QString error;
        const QImage img = renderMetafile(bytes, kind, &error, kTimeoutMs);
        if (img.isNull()) {
            EXPECT_FALSE(error.isEmpty()) << path.toStdString();
            EXPECT_TRUE(damaged) << path.toStdString() << ": " << error.toStdString();
            ++refused;
        } else {
            EXPECT_EQ(img.size(), metafileRenderSize(metafileNaturalSize(bytes, kind)))
                << path.toStdString();
            ++rendered;
        }
    }
    std::printf("%d rendered, %d refused\n", rendered, refused);
    EXPECT_GT(rendered, refused);
}
