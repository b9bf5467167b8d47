#pragma once
// The two small dialogs of scanning: choosing the scanner, and the mode,
// resolution and area of a scan.
#include "scanner/scantypes.h"

#include <QDialog>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QListWidget;

namespace lumenta {

// One entry of the mode list: a label and the device settings behind it.
struct ModeChoice {
    QString label;
    QString mode; // SANE value, empty for the device's own
    int depth = 0;
};
// The modes offered for a device, in French; line art is offered through a
// 1-bit gray mode when the device has no line-art mode of its own.
QList<ModeChoice> modeChoices(const DeviceCapabilities& caps);
// The resolutions offered: the device's list, or the usual values within its
// range (its limits when none is usual).
QList<int> resolutionChoices(const DeviceCapabilities& caps);
// Size in bytes of an uncompressed picture of that area, resolution and
// bits per pixel (the whole bed for ScanArea::WholeBed).
qint64 estimatedBytes(const QRectF& areaMM, double dpi, int bitsPerPixel);

class SourceDialog : public QDialog {
    Q_OBJECT
public:
    explicit SourceDialog(QWidget* parent = nullptr);

    QLabel* lblStatus = nullptr;
    QListWidget* lstDevices = nullptr;
    QDialogButtonBox* buttons = nullptr;

    // Fills the list once the search is over; current is selected.
    void setDevices(const QList<ScanDevice>& devices, const QString& current, bool ok);
    // The device chosen (empty when none).
    QString chosen() const;
};

class ScanSettingsDialog : public QDialog {
    Q_OBJECT
public:
    ScanSettingsDialog(const DeviceCapabilities& caps, const ScanSettings& last, bool lastValid,
                       QWidget* parent = nullptr);

    QComboBox* cboMode = nullptr;
    QComboBox* cboResolution = nullptr;
    QComboBox* cboArea = nullptr;
    QLabel* lblSize = nullptr;
    QDialogButtonBox* buttons = nullptr;

    ScanSettings settings() const;

private:
    void updateSize();

    DeviceCapabilities m_caps;
    QList<ModeChoice> m_modes;
};

} // namespace lumenta
