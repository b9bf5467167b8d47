#pragma once
// Selection-list files (.VSI): one full picture path per line, nothing else.
// Written in UTF-8 with CR LF line ends; read in UTF-8, or Windows-1252 when
// the bytes are not UTF-8, with a line ending at CR LF, CR or LF.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace lumenta {

// Files larger than this are not list files: reading refuses them.
constexpr qint64 kVsiMaxBytes = 64 * 1024 * 1024;

// The entries of a list file's bytes. An empty line is an empty entry; a
// line end at the very end adds no entry, so an empty file is an empty list.
QStringList parseVsi(const QByteArray& bytes);

// The bytes of a list file for these entries.
QByteArray formatVsi(const QStringList& entries);

// Reads a list file; std::nullopt when it cannot be opened or read, or is
// larger than kVsiMaxBytes.
std::optional<QStringList> readVsiFile(const QString& path);

// Writes a list file. Where its folder takes a temporary file the write is
// atomic (on failure, false, an older file at path is left whole); where it
// does not but the file itself is writable, the file is written directly.
// Only a plain file (or a link to one) is ever written or replaced: a path
// naming a device, a pipe or a folder is refused.
bool writeVsiFile(const QString& path, const QStringList& entries);

} // namespace lumenta
