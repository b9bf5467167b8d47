#pragma once
// What the slideshow windows take from the main window: its file list (folder,
// filter and entries), its common file dialog, its multimedia control and
// the slideshow button it shows once a selection list is valid.
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace lumenta {

class CommonDialog;
class FileList;
class MMControl;

struct SlideshowHost {
    QWidget* window = nullptr;
    const FileList* files = nullptr;
    CommonDialog* dialog = nullptr;
    MMControl* media = nullptr;
    std::function<void()> showSlideshowButton;

    QString folder() const;
    QString pattern() const;
    int fileCount() const;
    QStringList names() const;
    // Full path of entry i of the file list; empty when there is none.
    QString fullPath(int i) const;
    QStringList fullPaths() const;
    // Sends "Close" to the main window's multimedia control.
    void closeMedia() const;
};

} // namespace lumenta
