#include "viewer/dispatch.h"

#include "app/module1.h"
#include "picture/pictureformats.h"

#include <QCoreApplication>

namespace lumenta {

DispatchGroup dispatchGroupFor(const QString& e) {
    static const char* const media[] = {"AVI", "MOV", "PIC", "MPEG", "MPG",
                                        "RM",  "RAM", "RMM", "RMD",  "RA"};
    for (const char* m : media) {
        if (e == QLatin1String(m))
            return DispatchGroup::AssociatedMedia;
    }
    if (e == QLatin1String("FLI") || e == QLatin1String("FLC"))
        return DispatchGroup::Animation;
    if (e == QLatin1String("WAV") || e == QLatin1String("MID"))
        return DispatchGroup::Sound;
    if (isPictureExtension(e))
        return DispatchGroup::Picture;
    return DispatchGroup::Other;
}

QString fileCaption(const QString& path, qint64 size) {
    return QCoreApplication::translate("Lumenta", "Visionneuse d'image : ") + path.toUpper() +
           QLatin1Char(' ') + printForm(size) + QCoreApplication::translate("Lumenta", " Octets");
}

QString fileCountText(int count) {
    return printForm(count) + QCoreApplication::translate("Lumenta", " Fichiers");
}

} // namespace lumenta
