#include "support/testutil.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>

namespace testutil {

bool waitUntil(const std::function<bool()>& pred, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (true) {
        if (pred())
            return true;
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

QString fixture(const QString& relative) {
    return QDir(QStringLiteral(LUMENTA_FIXTURES_DIR)).filePath(relative);
}

QString sample(const QString& relative) {
    return fixture(QStringLiteral("pictures/samples/") + relative);
}

QByteArray sampleBytes(const QString& relative) {
    return readFile(sample(relative));
}

QString copyFixture(const QTemporaryDir& dir, const QString& relative, const QString& newName) {
    const QString src = fixture(relative);
    const QString dst = dir.filePath(newName.isEmpty() ? QFileInfo(src).fileName() : newName);
    QFile::remove(dst);
    QFile from(src);
    if (!from.copy(dst)) {
        // Said here, where the cause is known, rather than by a later step
        // that finds no file.
        ADD_FAILURE() << "fixture " << src.toStdString() << " not copied to " << dst.toStdString()
                      << ": " << from.errorString().toStdString();
        return QString();
    }
    QFile::setPermissions(dst, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                   QFile::ReadOther);
    return dst;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    f.write(bytes);
    return path;
}

QString writeScript(const QTemporaryDir& dir, const QString& name, const QByteArray& body) {
    const QString path = writeFile(dir, name, "#!/bin/sh\n" + body + "\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QString builtProgram(const QString& relative) {
    return QDir(QStringLiteral(LUMENTA_BINARY_DIR)).filePath(relative);
}

bool ShownGeometry::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show)
        seen = static_cast<QWidget*>(watched)->geometry();
    return false;
}

} // namespace testutil
