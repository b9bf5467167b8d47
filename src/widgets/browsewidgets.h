#pragma once
// The drive list, folder list and file list of the browsing windows.
#include "system/drives.h"

#include <QComboBox>
#include <QListWidget>

namespace lumenta {

// Drop-down list of the mounted volumes.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(QWidget* parent = nullptr);

    QString drive() const; // root of the shown drive
    // Shows the drive holding path (adding it when it is not listed);
    // emits driveChanged when that changes the shown drive.
    void setDrive(const QString& pathOnDrive);
    // Re-reads the mounted volumes, keeping the shown drive.
    void refresh();
    const QList<Drive>& drives() const { return m_drives; }
    // Lists one more drive (a volume mounted after the list was read).
    void addDrive(const Drive& d);

Q_SIGNALS:
    void driveChanged(const QString& root);

private:
    void fill();
    QList<Drive> m_drives;
    bool m_filling = false;
};

// The current folder with its ancestors, then its subfolders; double click
// or Enter on a line opens that folder.
class DirList : public QListWidget {
    Q_OBJECT
public:
    explicit DirList(QWidget* parent = nullptr);

    QString path() const { return m_path; }
    // Lists folder; false (nothing changed) when it cannot be read. Emits
    // pathChanged when the folder changes.
    bool setPath(const QString& folder);
    void refresh();
    // The folder of the highlighted line, which may not be opened yet.
    QString highlightedPath() const;

Q_SIGNALS:
    void pathChanged(const QString& folder);

private:
    void fill();
    QString m_path;
};

// Files of a folder that match a pattern. Only the user's own acts emit
// fileClicked: a click on a line, moving the selection with the keyboard
// (arrows, Home, End, Page Up, Page Down, typing the first letters of a
// name), or Enter or Space on the current line. Taking the focus, a
// refresh and selecting from code never do.
class FileList : public QListWidget {
    Q_OBJECT
public:
    explicit FileList(QWidget* parent = nullptr);

    QString path() const { return m_path; }
    void setPath(const QString& folder); // refreshes
    QString pattern() const { return m_pattern; }
    void setPattern(const QString& pattern); // refreshes
    void refresh();
    QString fileName() const; // selected name, or empty
    int listCount() const { return count(); }
    // Shows names, listed elsewhere (off the GUI thread), as the files of
    // folder under pattern; nothing is selected and no click is emitted.
    void setListing(const QString& folder, const QString& pattern, const QStringList& names);
    // Selects the line of name without emitting a click; false when it is
    // not listed.
    bool selectName(const QString& name);

Q_SIGNALS:
    void fileClicked(const QString& name);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    QString m_path;
    QString m_pattern = QStringLiteral("*.*");
    bool m_userActing = false; // inside a mouse or key event of the user
};

} // namespace lumenta
