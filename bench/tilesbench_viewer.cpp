#include "tilesbench.h"

namespace lumenta::tilesbench {

int viewer(const QString&, const QStringList&, int) {
    return 1;
}

int viewerRun(int, char**) {
    return 1;
}

} // namespace lumenta::tilesbench
