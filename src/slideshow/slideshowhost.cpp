#include "slideshow/slideshowhost.h"

#include "app/module1.h"
#include "widgets/browsewidgets.h"
#include "widgets/mmcontrol.h"

namespace lumenta {

QString SlideshowHost::folder() const {
    return files ? files->path() : QString();
}

QString SlideshowHost::pattern() const {
    return files ? files->pattern() : QStringLiteral("*.*");
}

int SlideshowHost::fileCount() const {
    return files ? files->count() : 0;
}

QStringList SlideshowHost::names() const {
    QStringList out;
    for (int i = 0; i < fileCount(); ++i)
        out << files->item(i)->text();
    return out;
}

QString SlideshowHost::fullPath(int i) const {
    if (i < 0 || i >= fileCount())
        return QString();
    return AddBackslash(folder()) + files->item(i)->text();
}

QStringList SlideshowHost::fullPaths() const {
    QStringList out;
    for (int i = 0; i < fileCount(); ++i)
        out << fullPath(i);
    return out;
}

void SlideshowHost::closeMedia() const {
    if (media)
        media->command(QStringLiteral("Close"));
}

} // namespace lumenta
