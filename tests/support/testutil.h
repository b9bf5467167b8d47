#pragma once
// Helpers shared by the test programs.
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <ostream>

// Readable QString output in failing assertions.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '[' << l.join(QStringLiteral(", ")).toStdString() << ']';
}

namespace testutil {

// Absolute path of a file under the shared read-only fixtures folder.
QString fixture(const QString& relative);

// Copies a fixture into dir (under its own name, or newName) and returns
// the copy's path; the copy is writable.
QString copyFixture(const QTemporaryDir& dir, const QString& relative,
                    const QString& newName = QString());

// Writes bytes to dir/name and returns the path.
QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes);

// Reads a whole file (empty on failure).
QByteArray readFile(const QString& path);

// Path of a program built beside the tests (for example "lumenta").
QString builtProgram(const QString& relative);

} // namespace testutil
