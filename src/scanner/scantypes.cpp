#include "scanner/scantypes.h"

namespace lumenta {

QString ScanDevice::label() const {
    const QString what = QStringList{vendor, model}.join(QLatin1Char(' ')).trimmed();
    return what.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(what, name);
}

QSizeF areaSizeMM(ScanArea area) {
    switch (area) {
    case ScanArea::A4:
        return {210.0, 297.0};
    case ScanArea::Letter:
        return {215.9, 279.4};
    case ScanArea::WholeBed:
        break;
    }
    return {};
}

QRectF areaOnBed(ScanArea area, const QRectF& bed) {
    const QSizeF paper = areaSizeMM(area);
    if (paper.isEmpty())
        return bed;
    return QRectF(bed.topLeft(), paper).intersected(bed);
}

QVariant ScanResult::appliedValue(const QString& name) const {
    for (const ScanOption& o : applied) {
        if (o.name == name)
            return o.value;
    }
    return {};
}

} // namespace lumenta
