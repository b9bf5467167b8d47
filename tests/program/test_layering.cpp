// The folders of src/ stand in layers: a file includes headers of its own
// layer or of the layers below, never of a layer above (a window never
// reaches into the program, the state never into a window).
#include "support/testutil.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

// Folders not named here lie below the windows.
int layerOf(const QString& folder) {
    static const QHash<QString, int> layers = [] {
        QHash<QString, int> l{{QStringLiteral("app"), 1},
                              {QStringLiteral("widgets"), 2},
                              {QStringLiteral("companions"), 2},
                              {QStringLiteral("program"), 4}};
        for (const char* window : {"fullscreen", "about", "viewer", "slideshow", "browser",
                                   "fileutil", "printing", "convert", "scanner", "cdplayer"})
            l.insert(QLatin1String(window), 3);
        return l;
    }();
    return layers.value(folder, 0);
}

struct Include {
    QString file, header; // relative to src/, as written
};

// Every include of a header from a folder above the including file's.
QList<Include> upwardIncludes(const QString& srcDir) {
    static const QRegularExpression include(QStringLiteral(R"(^\s*#\s*include\s*"([^"/]+)/)"),
                                            QRegularExpression::MultilineOption);
    QList<Include> found;
    QDirIterator it(srcDir, {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(srcDir).relativeFilePath(path);
        const int own = layerOf(rel.section(QLatin1Char('/'), 0, 0));
        const QString text = QString::fromUtf8(testutil::readFile(path));
        for (auto m = include.globalMatch(text); m.hasNext();) {
            const QRegularExpressionMatch match = m.next();
            const QString folder = match.captured(1);
            if (QFileInfo(QDir(srcDir).filePath(folder)).isDir() && layerOf(folder) > own)
                found.append({rel, match.captured(0).trimmed()});
        }
    }
    return found;
}

} // namespace

TEST(Layering, NoFolderIncludesAHeaderOfAFolderAboveIt) {
    const QString src = QDir(QStringLiteral(LUMENTA_SOURCE_DIR)).filePath(QStringLiteral("src"));
    ASSERT_TRUE(QFileInfo(QDir(src).filePath(QStringLiteral("program/main.cpp"))).isFile());
    for (const Include& i : upwardIncludes(src))
        ADD_FAILURE() << i.file.toStdString() << ": " << i.header.toStdString();
}

TEST(Layering, TheCheckSeesAWindowIncludedFromBelow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* folder : {"app", "viewer", "system", "program"})
        QDir(dir.path()).mkpath(QLatin1String(folder));
    testutil::writeFile(dir, QStringLiteral("app/a.cpp"), "#include \"viewer/lumenta.h\"\n");
    testutil::writeFile(dir, QStringLiteral("system/s.h"),
                        "// #include \"app/appstate.h\" in a comment line is no include\n"
                        "#include <viewer/x.h>\n#include \"system/own.h\"\n");
    testutil::writeFile(dir, QStringLiteral("viewer/v.cpp"),
                        "#include \"app/appstate.h\"\n  #  include \"program/application.h\"\n");
    testutil::writeFile(dir, QStringLiteral("program/main.cpp"), "#include \"viewer/lumenta.h\"\n");
    QStringList seen;
    for (const Include& i : upwardIncludes(dir.path()))
        seen << i.file;
    seen.sort();
    EXPECT_EQ(seen, QStringList({QStringLiteral("app/a.cpp"), QStringLiteral("viewer/v.cpp")}));
}
