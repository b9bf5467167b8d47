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
    return files ? files->listCount() : 0;
}

QStringList SlideshowHost::names() const {
    return files ? files->names() : QStringList();
}

QString SlideshowHost::fullPath(int i) const {
    if (i < 0 || i >= fileCount())
        return QString();
    return AddBackslash(folder()) + files->nameAt(i);
}

QStringList SlideshowHost::fullPaths() const {
    QStringList out;
    out.reserve(fileCount());
    for (int i = 0; i < fileCount(); ++i)
        out << fullPath(i);
    return out;
}

void SlideshowHost::closeMedia() const {
    if (media)
        media->command(QStringLiteral("Close"));
}

} // namespace lumenta
