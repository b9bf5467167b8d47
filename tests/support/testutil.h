#pragma once
// Helpers shared by the test programs.
#include <QApplication>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <ostream>

// Readable QString output in failing assertions.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '[' << l.join(QStringLiteral(", ")).toStdString() << ']';
}
inline void PrintTo(const QRect& r, std::ostream* os) {
    *os << r.width() << 'x' << r.height() << '+' << r.x() << '+' << r.y();
}

#include <functional>

namespace testutil {

// Processes events until pred() holds or timeoutMs pass; returns whether it
// held. Use inside EXPECT_TRUE / ASSERT_TRUE (Qt's QTRY_* macros do not
// report to GoogleTest).
bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 5000);

// Calls act() on the modal window of type W once it is up (checked every
// 10 ms, for 5 s): for windows that run their own modal loop.
template <class W> void whenModal(std::function<void(W*)> act, int triesLeft = 500) {
    QTimer::singleShot(10, [act = std::move(act), triesLeft] {
        if (auto* m = qobject_cast<W*>(QApplication::activeModalWidget()))
            act(m);
        else if (triesLeft > 0)
            whenModal<W>(act, triesLeft - 1);
        else
            ADD_FAILURE() << W::staticMetaObject.className() << " did not open";
    });
}

// The geometry a widget had when it was shown: without a window manager,
// all it gets.
class ShownGeometry : public QObject {
public:
    explicit ShownGeometry(QObject* widget) { widget->installEventFilter(this); }
    QRect seen;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Absolute path of a file under the shared read-only fixtures folder.
QString fixture(const QString& relative);

// Path and bytes of a picture under the fixtures' pictures/samples folder.
QString sample(const QString& relative);
QByteArray sampleBytes(const QString& relative);

// Copies a fixture into dir (under its own name, or newName) and returns
// the copy's path; the copy is writable. A fixture that cannot be copied
// (missing, unreadable) fails the test and gives an empty path.
QString copyFixture(const QTemporaryDir& dir, const QString& relative,
                    const QString& newName = QString());

// Writes bytes to dir/name and returns the path.
QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes);

// Writes an executable shell script "#!/bin/sh\n<body>\n" to dir/name.
QString writeScript(const QTemporaryDir& dir, const QString& name, const QByteArray& body);

// Reads a whole file (empty on failure).
QByteArray readFile(const QString& path);

// Path of a program built beside the tests (for example "lumenta").
QString builtProgram(const QString& relative);

} // namespace testutil
