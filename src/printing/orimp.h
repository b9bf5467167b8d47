#pragma once
// The default orientation of the current printer. CUPS keeps it as the
// destination option "orientation-requested" in the user's lpoptions; the
// program's printer object (QPrinter) does not read that option, so the
// routines here apply it to the printer object themselves, which the
// windows then read back.
#include <QMap>
#include <QPageLayout>
#include <QString>
#include <optional>

class QPrinter;

namespace lumenta {

// Options of a destination, by name.
using DestinationOptions = QMap<QString, QString>;

// The orientation the options ask for: orientation-requested 3 and 6 are
// portrait, 4 and 5 landscape; without it the boolean "landscape" option
// decides. None when neither is there.
std::optional<QPageLayout::Orientation> orientationOf(const DestinationOptions& options);

// The destination ("name" or "name/instance") the "Default" line of a
// user's lpoptions file names; empty when it has none.
QString lpoptionsDefault(const QByteArray& lpoptions);

enum class OrImpResult {
    Ok,
    NoPrinter, // no printer at all
    Failed,    // the destination could not be read or stored
};

class OrImp {
public:
    // Orientation to apply: 1 portrait, 2 landscape.
    int OrientationWanted = 0;
    // Paper to apply: 1 is the sheet the print layout is computed for (A4).
    int PaperSizeWanted = 0;

    // Each works on the destination the printer object names, with duplex
    // 1 (one-sided).
    OrImpResult SetPortrait(QPrinter& printer);
    OrImpResult SetLandscape(QPrinter& printer);
    OrImpResult SetPaperDefault(QPrinter& printer);

    // Reads the list of destinations, sets the orientation of the printer's
    // one (the boolean "landscape" option is removed), stores the whole
    // list as the user's defaults, then points the printer object at the
    // destination again so it takes the new default. Duplex goes to the
    // printer object only.
    OrImpResult SetPrinterOrientation(int duplex, int orientation, QPrinter& printer);
    // Sets paper and duplex on the printer object only; nothing is stored.
    OrImpResult SetPrinterPaper(int duplex, int paper, QPrinter& printer);

    // Points a printer object that names no printer at the default
    // destination, or the first one when there is no default, then applies
    // the orientation stored for its destination. False when there is no
    // printer at all.
    static bool SelectPrinter(QPrinter& printer);
    // Applies the orientation stored for the printer's destination, when
    // one is stored.
    static void ApplyStoredOrientation(QPrinter& printer);
    // The printer object's orientation: 1 portrait, 2 landscape.
    static int PrinterOrientation(const QPrinter& printer);
};

} // namespace lumenta
