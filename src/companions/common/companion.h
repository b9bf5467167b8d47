#pragma once
// The frame of a helper program that decodes untrusted files for the viewer
// in a short-lived process: it keeps its standard output for its result,
// limits itself, reads its whole input and writes its result.
#include <QByteArray>
#include <QString>

namespace lumenta::companion {

// Exit codes shared by the helpers.
enum Exit { Ok = 0, BadArguments = 1, BadInput = 2, DecodeFailed = 3, BadOutput = 4 };

// Keeps standard output for the result: returns a descriptor on it, and
// sends whatever a library prints to standard output to standard error.
int takeStandardOutput();

// No core dumps, at most addressSpaceBytes of address space, killed after
// `seconds` and when the process that started this one dies.
void limitSelf(int seconds, qint64 addressSpaceBytes);

// The whole of FILE, or of standard input for "" and "-"; false when it
// cannot be read or is longer than maxBytes.
bool readInput(const QString& path, qint64 maxBytes, QByteArray* out);

// Writes all of data to the descriptor; false on failure.
bool writeAll(int fd, const char* data, qint64 size);

// Prints "PROGRAM: error: WHY" on standard error (the client shows the last
// line) and returns code.
int failWith(const char* program, int code, const QString& why);

} // namespace lumenta::companion
