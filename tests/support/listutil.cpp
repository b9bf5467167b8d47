#include "support/listutil.h"

#include "support/testutil.h"
#include "widgets/browsewidgets.h"

#include <QTest>

namespace testutil {

bool waitListed(const lumenta::FileList* list, int timeoutMs) {
    return waitUntil([list] { return !list->isListing(); }, timeoutMs);
}

bool waitListed(const lumenta::DirList* list, int timeoutMs) {
    return waitUntil([list] { return !list->isListing(); }, timeoutMs);
}

bool clickName(lumenta::FileList* list, const QString& name, Qt::KeyboardModifiers modifiers) {
    if (!waitListed(list))
        return false;
    const int row = list->rowOf(name);
    if (row < 0)
        return false;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, list->rowRect(row).center());
    return true;
}

int folderRow(const lumenta::DirList* list, const QString& name) {
    for (int i = 0; i < list->count(); ++i) {
        if (list->text(i).trimmed() == name)
            return i;
    }
    return -1;
}

} // namespace testutil
