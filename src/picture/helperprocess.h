#pragma once
// Running a helper program that decodes an untrusted file in a process of
// its own: started in its own process group (killed with everything it
// started), ended with the viewer, killed when it uses up its processor time
// (or sleeps for several times as long), when
// the caller cancels or when it sends more than it may. The helper limits
// itself further (memory, core dumps, its own alarm: see
// companions/common/companion.h).
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;

namespace lumenta {

struct HelperRun {
    QString what; // how messages name the helper ("the picture decoder")
    QString program;
    QStringList arguments;
    QByteArray input;                // written to its standard input, which is then closed
    int timeoutMs = 15000;           // processor time; four times as long on the clock
    std::function<bool()> cancelled; // asked every few milliseconds
    // Takes the standard output as it arrives (and once more at the end);
    // false kills the helper, *why saying what was wrong. Without it the
    // output is kept whole, up to maxOutputBytes.
    std::function<bool(QIODevice& out, bool finished, QString* why)> consume;
    qint64 maxOutputBytes = 0;
    // A descriptor of the caller's (close-on-exec) that the helper inherits
    // under the same number; -1 for none.
    int inheritedFd = -1;
};

struct HelperOutcome {
    QString error;     // empty when the helper ended well (exit code 0)
    QByteArray output; // without `consume`: its standard output
    bool ok() const { return error.isEmpty(); }
};

// Runs the helper to its end; blocks (any thread but the GUI thread).
HelperOutcome runHelper(const HelperRun& run);

// A helper program: $envVariable when set (and executable), else `name`
// beside the running program, else in the build tree. Empty when none is
// found.
QString findHelperProgram(const char* name, const char* envVariable);

} // namespace lumenta
