// Entry point of every test program: a QApplication on the offscreen
// platform (unless the environment names another), then GoogleTest.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <unistd.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        // Qt wants a private runtime folder; test listing runs without the
        // one CTest hands to each test.
        const QString dir =
            QDir::temp().filePath(QStringLiteral("lumenta-tests-runtime-%1").arg(getuid()));
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir));
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lumenta-tests"));
    return RUN_ALL_TESTS();
}
