#include "browser/pictable.h"

#include "app/module1.h"
#include "browser/panelgeometry.h"

namespace lumenta {

bool isNonPictureType(const QString& path) {
    static const QString types =
        QStringLiteral("EXE/COM/DLL/RES/OCX/SYS/BAT/TXT/RTF/LOG/ERR/INI/MDB/PRG/C/HTM/ASP");
    return types.contains(path.right(3).toUpper());
}

QList<PicRow> buildPicTable(const QString& folder, const QStringList& names, const QString& pattern,
                            const PicTableBuild& how) {
    const QString prefix = AddBackslash(folder);
    const bool testEach = pattern == kAllFilesPattern;
    const int n = int(names.size());
    QList<PicRow> rows;
    rows.reserve(n);
    int lastPercent = -1;
    for (int i = 0; i < n; ++i) {
        if (how.cancelled && how.cancelled->load(std::memory_order_relaxed))
            break;
        const QString path = prefix + names.at(i);
        if (how.progress) {
            const int percent = panel::progressPercent(i, n);
            if (percent != lastPercent)
                how.progress(percent);
            lastPercent = percent;
        }
        if (testEach && (isNonPictureType(path) || !how.isPicture || !how.isPicture(path)))
            continue;
        rows.append(PicRow{path, i, int(rows.size())});
    }
    return rows;
}

int rowOfPath(const QList<PicRow>& table, const QString& path) {
    for (int i = 0; i < table.size(); ++i) {
        if (table.at(i).path == path)
            return i;
    }
    return -1;
}

} // namespace lumenta
