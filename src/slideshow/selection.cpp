#include "slideshow/selection.h"

#include "app/module1.h"
#include "slideshow/vsifile.h"

#include <QFile>
#include <QFileInfo>

namespace lumenta {

QStringList selectionEntries(const AppState& st) {
    QStringList out;
    const qsizetype n = qsizetype(st.SelectionLastIndex) + 1;
    if (n <= 0)
        return out;
    out.reserve(n);
    for (qsizetype i = 0; i < n; ++i)
        out << st.SelectionList.value(i);
    return out;
}

void validateSelection(const QStringList& items, AppState& st) {
    st.SelectionLastIndex = int(items.size()) - 1;
    if (st.SelectionLastIndex >= 0) {
        st.SelectionList = items;
        st.settings.SelectionListValid = 1;
    } else {
        st.settings.SelectionListValid = 0;
    }
}

bool openSelectionFile(const QString& path, AppState& st) {
    std::optional<QStringList> entries = readVsiFile(path);
    if (!entries)
        return false;
    st.SelectionList = std::move(*entries);
    st.SelectionLastIndex = int(st.SelectionList.size()) - 1;
    return true;
}

bool isListablePath(const QString& path) {
    if (path.isEmpty() || path.contains(QLatin1Char('\r')) || path.contains(QLatin1Char('\n')))
        return false;
    if (!path.isValidUtf16() || path.contains(QChar::ReplacementCharacter))
        return false;
    return QFile::decodeName(QFile::encodeName(path)) == path;
}

bool anyEntryExists(const QStringList& entries) {
    for (const QString& e : entries) {
        if (!e.isEmpty() && QFileInfo::exists(e))
            return true;
    }
    return false;
}

QStringList picturePaths(const QString& folder, const QStringList& names) {
    QStringList out;
    const QString base = AddBackslash(folder);
    for (const QString& name : names) {
        const QString path = base + name;
        if (isPictureExtension(extensionOf(path)))
            out << path;
    }
    return out;
}

} // namespace lumenta
