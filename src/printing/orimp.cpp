#include "printing/orimp.h"

#include <QDir>
#include <QFile>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>

#include <cups/cups.h>

namespace lumenta {

namespace {

// "name/instance" as Qt names a destination instance.
struct DestName {
    QByteArray name;
    QByteArray instance;
    const char* instanceOrNull() const {
        return instance.isEmpty() ? nullptr : instance.constData();
    }
};

DestName splitName(const QString& printerName) {
    const qsizetype slash = printerName.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return {printerName.toLocal8Bit(), {}};
    return {printerName.left(slash).toLocal8Bit(), printerName.mid(slash + 1).toLocal8Bit()};
}

// The user's own lpoptions file, where CUPS keeps per-user defaults.
QByteArray readUserLpoptions() {
    const QByteArray home = qgetenv("HOME");
    QFile f((home.isEmpty() ? QDir::homePath() : QFile::decodeName(home)) +
            QStringLiteral("/.cups/lpoptions"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(4 * 1024 * 1024);
}

// The destinations as CUPS lists them, freed on leaving.
class Destinations {
public:
    Destinations() { m_count = cupsGetDests2(CUPS_HTTP_DEFAULT, &m_dests); }
    ~Destinations() { cupsFreeDests(m_count, m_dests); }
    Destinations(const Destinations&) = delete;
    Destinations& operator=(const Destinations&) = delete;

    cups_dest_t* find(const QString& printerName) const {
        const DestName n = splitName(printerName);
        return cupsGetDest(n.name.constData(), n.instanceOrNull(), m_count, m_dests);
    }
    // Stores the list as the user's defaults. CUPS writes a "Default" line
    // for the destination the list marks as default, which may be the
    // server's default or one named by LPDEST: that would make it the
    // user's own default printer. Only a default the user's file already
    // named is written back.
    bool store() const {
        const DestName own = splitName(lpoptionsDefault(readUserLpoptions()));
        for (int i = 0; i < m_count; ++i) {
            cups_dest_t& d = m_dests[i];
            d.is_default = !own.name.isEmpty() && qstricmp(own.name.constData(), d.name) == 0 &&
                           qstricmp(own.instance.constData(), d.instance ? d.instance : "") == 0;
        }
        return cupsSetDests2(CUPS_HTTP_DEFAULT, m_count, m_dests) == 0;
    }

private:
    int m_count = 0;
    cups_dest_t* m_dests = nullptr;
};

DestinationOptions optionsOf(const cups_dest_t& dest) {
    DestinationOptions out;
    for (int i = 0; i < dest.num_options; ++i)
        out.insert(QString::fromUtf8(dest.options[i].name),
                   QString::fromUtf8(dest.options[i].value));
    return out;
}

} // namespace

QString lpoptionsDefault(const QByteArray& lpoptions) {
    QString found;
    for (const QByteArray& line : lpoptions.split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() >= 2 && words.at(0).toLower() == "default")
            found = QString::fromLocal8Bit(words.at(1));
    }
    return found;
}

std::optional<QPageLayout::Orientation> orientationOf(const DestinationOptions& options) {
    const auto requested = options.constFind(QStringLiteral("orientation-requested"));
    if (requested != options.cend()) {
        switch (requested->trimmed().toInt()) {
        case 3:
        case 6:
            return QPageLayout::Portrait;
        case 4:
        case 5:
            return QPageLayout::Landscape;
        default:
            break;
        }
    }
    const auto landscape = options.constFind(QStringLiteral("landscape"));
    if (landscape != options.cend()) {
        const QString v = landscape->trimmed().toLower();
        const bool off = v == QLatin1String("false") || v == QLatin1String("no") ||
                         v == QLatin1String("off") || v == QLatin1String("0");
        return off ? QPageLayout::Portrait : QPageLayout::Landscape;
    }
    return std::nullopt;
}

OrImpResult OrImp::SetPortrait(QPrinter& printer) {
    OrientationWanted = 1;
    return SetPrinterOrientation(1, OrientationWanted, printer);
}

OrImpResult OrImp::SetLandscape(QPrinter& printer) {
    OrientationWanted = 2;
    return SetPrinterOrientation(1, OrientationWanted, printer);
}

OrImpResult OrImp::SetPaperDefault(QPrinter& printer) {
    PaperSizeWanted = 1;
    return SetPrinterPaper(1, PaperSizeWanted, printer);
}

OrImpResult OrImp::SetPrinterOrientation(int duplex, int orientation, QPrinter& printer) {
    if (printer.printerName().isEmpty() && !SelectPrinter(printer))
        return OrImpResult::NoPrinter;
    OrImpResult result = OrImpResult::Ok;
    {
        Destinations dests;
        cups_dest_t* dest = dests.find(printer.printerName());
        if (!dest)
            return OrImpResult::Failed;
        const char* value = orientation == 2 ? "4" : "3";
        dest->num_options =
            cupsAddOption("orientation-requested", value, dest->num_options, &dest->options);
        dest->num_options = cupsRemoveOption("landscape", dest->num_options, &dest->options);
        if (!dests.store())
            result = OrImpResult::Failed;
    }
    // Whatever was stored, the printer object shows what the user's
    // defaults now say.
    ApplyStoredOrientation(printer);
    if (duplex == 1)
        printer.setDuplex(QPrinter::DuplexNone);
    return result;
}

OrImpResult OrImp::SetPrinterPaper(int duplex, int paper, QPrinter& printer) {
    if (printer.printerName().isEmpty() && !SelectPrinter(printer))
        return OrImpResult::NoPrinter;
    if (paper == 1)
        printer.setPageSize(QPageSize(QPageSize::A4));
    if (duplex == 1)
        printer.setDuplex(QPrinter::DuplexNone);
    return OrImpResult::Ok;
}

bool OrImp::SelectPrinter(QPrinter& printer) {
    if (printer.printerName().isEmpty()) {
        QString name = QPrinterInfo::defaultPrinterName();
        if (name.isEmpty()) {
            const QStringList all = QPrinterInfo::availablePrinterNames();
            if (!all.isEmpty())
                name = all.constFirst();
        }
        if (name.isEmpty())
            return false;
        printer.setOutputFormat(QPrinter::NativeFormat);
        printer.setPrinterName(name);
        if (printer.printerName().isEmpty())
            return false;
    }
    ApplyStoredOrientation(printer);
    return true;
}

void OrImp::ApplyStoredOrientation(QPrinter& printer) {
    if (printer.printerName().isEmpty())
        return;
    Destinations dests;
    const cups_dest_t* dest = dests.find(printer.printerName());
    if (!dest)
        return;
    if (const auto o = orientationOf(optionsOf(*dest)))
        printer.setPageOrientation(*o);
}

int OrImp::PrinterOrientation(const QPrinter& printer) {
    return printer.pageLayout().orientation() == QPageLayout::Landscape ? 2 : 1;
}

} // namespace lumenta
