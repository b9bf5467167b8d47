#pragma once
// The drive list, folder list and file list of the browsing windows.
#include "system/drives.h"
#include "widgets/listingrunner.h"
#include "widgets/listmodels.h"

#include <QComboBox>
#include <QListView>

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
// or Enter on a line opens that folder. The subfolders are read off the GUI
// thread: the folder's own line shows at once, its subfolders when they are
// listed (a newer folder abandons the listing under way).
class DirList : public QListView {
    Q_OBJECT
public:
    explicit DirList(QWidget* parent = nullptr);

    QString path() const { return m_path; }
    // Lists folder; false (nothing changed) when it cannot be read. Emits
    // pathChanged when the folder changes.
    bool setPath(const QString& folder);
    // Lists the subfolders again; the lines stay until the new ones come.
    void refresh();
    // The folder of the current line (the one last pointed at), or the
    // listed folder when no line is current.
    QString highlightedPath() const;

    // Lines shown, the text of one (indented), the current line.
    int count() const;
    QString text(int row) const;
    int currentRow() const;
    void setCurrentRow(int row);
    // The subfolders are being read.
    bool isListing() const;

Q_SIGNALS:
    void pathChanged(const QString& folder);
    // The subfolders of a listing are shown.
    void listed();
    // A listing started (true) or ended or was abandoned (false).
    void listingChanged(bool listing);

private:
    void listSubfolders();

    QString m_path;
    FolderListModel* m_model;
    ListingRunner* m_runner;
};

// Files of a folder that match a pattern, read and sorted off the GUI
// thread (setPath, setPattern, refresh return at once; listed() says when
// the rows are there). The rows of another folder or pattern go at once; a
// refresh keeps the rows, the selection and the current line until the new
// rows come, then keeps them by name.
//
// Only the user's own acts emit fileClicked: a click on a line, moving the
// selection with the keyboard (arrows, Home, End, Page Up, Page Down,
// typing the first letters of a name), or Enter or Space on the current
// line. Taking the focus, a refresh and selecting from code never do.
class FileList : public QListView {
    Q_OBJECT
public:
    explicit FileList(QWidget* parent = nullptr);

    QString path() const { return m_path; }
    void setPath(const QString& folder); // lists
    QString pattern() const { return m_pattern; }
    void setPattern(const QString& pattern); // lists
    // Lists the folder again. Asked during a listing of the same folder and
    // pattern, the folder is listed once more after it.
    void refresh();
    bool isListing() const;

    QString fileName() const; // selected name, or empty
    int listCount() const { return m_model->rowCount(); }
    int count() const { return listCount(); }
    QString nameAt(int row) const { return m_model->name(row); }
    const QStringList& names() const { return m_model->names(); }
    // The row of name (exact), or -1.
    int rowOf(const QString& name) const { return m_model->rowOf(name); }
    int currentRow() const;
    // Makes row current and selected (none for -1) without emitting a click.
    void setCurrentRow(int row);
    // Selected names in list order.
    QStringList selectedNames() const;
    int selectedCount() const;
    // Where row is drawn in the viewport (scrolled into sight first).
    QRect rowRect(int row);

    // Shows names, listed elsewhere (off the GUI thread), as the files of
    // folder under pattern; nothing is selected and no click is emitted.
    void setListing(const QString& folder, const QString& pattern, const QStringList& names);
    // A listing of folder under pattern has started elsewhere: rows of
    // another folder or pattern go at once.
    void expectListing(const QString& folder, const QString& pattern);
    // Selects the line of name without emitting a click; false when it is
    // not listed.
    bool selectName(const QString& name);
    // Selects the line of name now if it is listed, else when the listing
    // under way brings it (unless the user picked another line meanwhile).
    void selectWhenListed(const QString& name);

Q_SIGNALS:
    void fileClicked(const QString& name);
    // The rows of a listing are shown: the count is final.
    void listed();
    // A listing started (true) or ended or was abandoned (false).
    void listingChanged(bool listing);
    // The selection changed, by the user or from code.
    void selectionEdited();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void startListing();
    // final: the rows of a listing that ended (else rows cleared meanwhile).
    void showListing(const QString& folder, const QString& pattern, QStringList names, bool final);
    void showBusy(bool busy);

    QString m_path;
    QString m_pattern = QStringLiteral("*.*");
    QString m_listedPath, m_listedPattern; // what the rows are
    QString m_runningPath, m_runningPattern;
    QString m_pendingPath, m_pendingName; // selected once listed
    bool m_listAgain = false;
    bool m_userActing = false; // inside a mouse or key event of the user
    NameListModel* m_model;
    ListingRunner* m_runner;
};

} // namespace lumenta
