#pragma once
// What the scanning engine, its dialogs and the scanner window exchange:
// devices, what a device can do, what to scan and what came back.
#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>
#include <QVariant>

namespace lumenta {

struct ScanDevice {
    QString name; // what sane_open takes, "test:0"
    QString vendor;
    QString model;
    QString type;

    // "Vendor Model (name)", for lists.
    QString label() const;
};

// One device option set by its name before a scan.
struct ScanOption {
    QString name;
    QVariant value; // bool, int, double or string
};

// The paper areas offered to the user.
enum class ScanArea { WholeBed, A4, Letter };

// The size of an area in millimetres (empty for the whole bed).
QSizeF areaSizeMM(ScanArea area);

// The part of a bed (left, top, right, bottom limits in mm) an area covers:
// the paper laid in the top-left corner, cut to the bed.
QRectF areaOnBed(ScanArea area, const QRectF& bed);

// What the settings dialog offers for one device.
struct DeviceCapabilities {
    QString device;      // the device actually opened
    QStringList modes;   // values of the "mode" option, empty without one
    QString currentMode; // the device's mode when opened
    QList<int> depths;   // values of "depth" in the device's current mode
    double minDpi = 0;   // resolution range (0 when not adjustable)
    double maxDpi = 0;
    QList<double> dpiList; // the allowed values when the device gives a list
    double currentDpi = 0; // the device's resolution when opened
    bool hasArea = false;  // the scan area can be chosen (mm geometry)
    QRectF bed;            // x: tl-x..br-x range, y: tl-y..br-y range, in mm
};

// The choices the settings dialog makes.
struct ScanSettings {
    QString mode;   // SANE mode value; empty keeps the device's
    int depth = 0;  // bits per sample; 0 keeps the device's
    double dpi = 0; // 0 keeps the device's
    ScanArea area = ScanArea::WholeBed;
};

struct ScanRequest {
    QString device; // empty: the first device found
    ScanSettings settings;
    // Applied by name after mode and depth, before resolution and area.
    QList<ScanOption> options;
};

struct ScanResult {
    enum class Status { Ok, Cancelled, NoDevice, Failed, NoMemory };
    Status status = Status::Failed;
    QImage image;   // set when Ok; its dots per metre carry the resolution
    double dpi = 0; // the resolution the device used
    QString device; // the device scanned from
    QString error;  // what went wrong, for logs
    // The value each option had once set (read back where the device
    // changed it).
    QList<ScanOption> applied;

    bool ok() const { return status == Status::Ok; }
    QVariant appliedValue(const QString& name) const;
};

} // namespace lumenta
