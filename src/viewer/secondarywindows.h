#pragma once
// The one place that knows which of the other windows can be opened from
// the main window. A window that is not available yet keeps its menu item
// and button visible but disabled.
#include <QHash>
#include <functional>

namespace lumenta {

enum class SecondaryWindow {
    SlideshowSettings, // Diapo
    SelectionList,     // FrmListe
    PictureBrowser,    // frmPicViewer
    FileUtility,       // frmCopy
    Printing,          // ImpIMG
    Conversion,        // FrmConvertIMG
    ScannerSource,
    ScannerAcquire, // Scanner
    CDPlayer,       // CDPlayer
    About,          // frmAbout
};

class SecondaryWindows {
public:
    using Opener = std::function<void()>;

    void add(SecondaryWindow id, Opener open) { m_openers.insert(id, std::move(open)); }
    bool available(SecondaryWindow id) const { return m_openers.contains(id); }
    // Opens the window; false when it is not available.
    bool open(SecondaryWindow id) const {
        const auto it = m_openers.constFind(id);
        if (it == m_openers.cend())
            return false;
        (*it)();
        return true;
    }

private:
    QHash<SecondaryWindow, Opener> m_openers;
};

} // namespace lumenta
