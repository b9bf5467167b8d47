#pragma once
// Text files are written in UTF-8; files made on Windows in its 8-bit code
// page still load.
#include <QByteArray>
#include <QString>

namespace lumenta {

// UTF-8 when the bytes are valid UTF-8 (a BOM is dropped), Windows-1252
// otherwise.
QString decodeText(const QByteArray& bytes);

// Windows-1252 decoding of every byte.
QString decodeWindows1252(const QByteArray& bytes);

} // namespace lumenta
