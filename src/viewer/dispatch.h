#pragma once
// Which branch a clicked file takes, and the caption it gives the window.
#include <QString>

namespace lumenta {

enum class DispatchGroup { AssociatedMedia, Animation, Sound, Picture, Other };

// By the upper-case extension, compared exactly.
DispatchGroup dispatchGroupFor(const QString& upperExt);

// "Visionneuse d'image : " + the path in upper case + " " + the size in the
// print form + " Octets".
QString fileCaption(const QString& path, qint64 size);

// "<count in print form> Fichiers".
QString fileCountText(int count);

} // namespace lumenta
