#pragma once
// Reading and writing the four-line settings file Affich.cfg.
#include "app/settings.h"

#include <QByteArray>
#include <QString>

namespace lumenta {

// The file's bytes for a record: numbers in the print form, each followed by
// one blank, UTF-8, CR LF line ends.
QByteArray formatSettings(const Settings& s);

// Reads the saved fields from the file's bytes into s. Each line is read on
// its own: a value that is missing or not a 16-bit integer leaves its field
// as it was, and never shifts a later value into an earlier field. Line 4,
// whole, becomes SearchFolder. Returns false when nothing at all was read.
bool parseSettings(const QByteArray& bytes, Settings& s);

// Atomic write; false (and nothing changed on disk) on failure.
bool writeSettingsFile(const QString& path, const Settings& s);

// Reads the file into s (fields not found keep their values).
bool readSettingsFile(const QString& path, Settings& s);

} // namespace lumenta
