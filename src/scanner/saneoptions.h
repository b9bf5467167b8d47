#pragma once
// The options of one open SANE device, found by name. Every call here is a
// SANE call: use it on the scanning thread only.
#include <QHash>
#include <QString>
#include <QVariant>
#include <sane/sane.h>

namespace lumenta {

class SaneOptions {
public:
    explicit SaneOptions(SANE_Handle handle) : m_handle(handle) { reload(); }

    // Reads every descriptor again (after the device said its options changed).
    void reload();

    // The descriptor of an option, null when the device has none by that name.
    const SANE_Option_Descriptor* descriptor(const QString& name) const;
    // True when the option exists, is active and the program may set it.
    bool settable(const QString& name) const;
    bool active(const QString& name) const;

    // The option's value: bool, int, double (fixed) or string; invalid when
    // it cannot be read.
    QVariant get(const QString& name);

    // Sets an option to value, brought within the option's constraint (range
    // clamped and quantised, nearest word of a list, string matched without
    // case). Inactive or read-only options are left alone and give false.
    // The value in effect afterwards is stored in *actual (read back when
    // the device says it differs). Options are reloaded when the device asks.
    bool set(const QString& name, const QVariant& value, QVariant* actual = nullptr);

    // Whether the last set() asked for the scan parameters to be read again.
    bool parametersChanged() const { return m_paramsChanged; }

private:
    SANE_Handle m_handle;
    QHash<QString, int> m_index;
    QHash<int, const SANE_Option_Descriptor*> m_desc;
    bool m_paramsChanged = false;
};

// Values allowed by a numeric option, for the settings dialog.
struct NumericConstraint {
    bool isRange = false;
    double min = 0, max = 0, quant = 0;
    QList<double> values; // word list
};
NumericConstraint numericConstraint(const SANE_Option_Descriptor* d);
QStringList stringList(const SANE_Option_Descriptor* d);

// Brings a number within a descriptor's constraint.
double constrainNumber(const SANE_Option_Descriptor* d, double v);

} // namespace lumenta
