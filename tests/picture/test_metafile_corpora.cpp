// Every WMF and EMF of the public corpora through renderMetafile: sound files
// render, damaged ones fail with a reason, none crashes or hangs. At most 1024
// pixels a side (every record is read at any size), or a few 40-megapixel
// drawings would take most of the time.
#include "picture/metafile.h"
#include "support/testutil.h"

#include <QDirIterator>
#include <QtConcurrent/QtConcurrentMap>
#include <gtest/gtest.h>

using namespace lumenta;

namespace {

constexpr int kTimeoutMs = 10000;
constexpr int kMaxSide = 1024;

QStringList corpusFiles() {
    QStringList files;
    QDirIterator it(testutil::fixture("pictures/corpora"), {"*.wmf", "*.emf"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

struct Outcome {
    QString path;
    bool recognised = false;
    QSize asked;
    QImage image;
    QString error;
};

// Renders one file, as the loader would, at most kMaxSide on a side.
Outcome render(const QString& path) {
    Outcome o{path};
    const QByteArray bytes = testutil::readFile(path);
    const MetafileKind kind = detectMetafile(bytes);
    o.recognised = kind != MetafileKind::None;
    if (!o.recognised)
        return o;
    const QSize natural = metafileRenderSize(metafileNaturalSize(bytes, kind));
    if (natural.isValid())
        o.asked = natural.boundedTo(natural.scaled(kMaxSide, kMaxSide, Qt::KeepAspectRatio));
    o.image = renderMetafile(bytes, kind, &o.error, kTimeoutMs, o.asked);
    return o;
}

} // namespace

TEST(MetafileCorpora, EveryFileRendersOrFailsCleanly) {
    const QStringList files = corpusFiles();
    ASSERT_GE(files.size(), 150);
    // Renderer processes run side by side (renderMetafile is thread-safe).
    const QList<Outcome> outcomes = QtConcurrent::blockingMapped(files, render);
    int rendered = 0, refused = 0;
    for (const Outcome& o : outcomes) {
        const std::string path = o.path.toStdString();
        const bool damaged = o.path.contains(QLatin1String("corrupted"));
        if (o.image.isNull()) {
            EXPECT_TRUE(damaged) << path << ": " << o.error.toStdString();
            if (o.recognised)
                EXPECT_FALSE(o.error.isEmpty()) << path;
            ++refused;
        } else {
            if (o.asked.isValid())
                EXPECT_EQ(o.image.size(), o.asked) << path;
            ++rendered;
        }
    }
    std::printf("%d rendered, %d refused\n", rendered, refused);
    EXPECT_GT(rendered, refused);
}
