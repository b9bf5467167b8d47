#include "widgets/browsewidgets.h"

#include "system/filelist.h"
#include "system/folderlisting.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QSet>
#include <QStyle>

namespace lumenta {

// ---- DriveList ----

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    fill();
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_filling && index >= 0)
            Q_EMIT driveChanged(drive());
    });
}

void DriveList::fill() {
    const QString shown = drive();
    m_filling = true;
    m_drives = listDrives();
    clear();
    const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    for (const Drive& d : m_drives)
        addItem(icon, d.displayText(), d.root);
    const int index = findData(shown.isEmpty() ? QStringLiteral("/") : shown);
    setCurrentIndex(index >= 0 ? index : 0);
    m_filling = false;
}

QString DriveList::drive() const {
    return currentData().toString();
}

void DriveList::setDrive(const QString& pathOnDrive) {
    const QString root = driveOfPath(pathOnDrive, m_drives);
    int index = findData(root);
    if (index < 0) {
        m_drives.append(Drive{root, QString()});
        addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), root, root);
        index = count() - 1;
    }
    setCurrentIndex(index);
}

void DriveList::refresh() {
    fill();
}

void DriveList::addDrive(const Drive& d) {
    if (findData(d.root) >= 0)
        return;
    const QSignalBlocker block(this);
    m_drives.append(d);
    addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), d.displayText(), d.root);
}

// ---- DirList ----

DirList::DirList(QWidget* parent)
    : QListView(parent),
      m_model(new FolderListModel(style()->standardIcon(QStyle::SP_DirOpenIcon),
                                  style()->standardIcon(QStyle::SP_DirClosedIcon), this)),
      m_runner(new ListingRunner(this)) {
    setModel(m_model);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        if (index.isValid())
            setPath(m_model->pathAt(index.row()));
    });
    connect(m_runner, &ListingRunner::runningChanged, this, [this](bool busy) {
        if (busy)
            viewport()->setCursor(Qt::BusyCursor);
        else
            viewport()->unsetCursor();
        Q_EMIT listingChanged(busy);
    });
}

bool DirList::setPath(const QString& folder) {
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    const QFileInfo fi(clean);
    if (!fi.isDir() || !fi.isReadable() || !fi.isExecutable())
        return false;
    const bool changed = clean != m_path;
    m_path = clean;
    m_model->setFolder(m_path);
    setCurrentRow(m_model->chainLength() - 1);
    listSubfolders();
    if (changed)
        Q_EMIT pathChanged(m_path);
    return true;
}

void DirList::refresh() {
    if (!m_path.isEmpty())
        listSubfolders();
}

void DirList::listSubfolders() {
    const QString folder = m_path;
    m_runner->start([this, folder](const std::atomic<bool>& cancelled) -> ListingRunner::Done {
        auto listing = std::make_shared<FolderListing>(listFolderSubfolders(folder, &cancelled));
        return [this, listing] {
            if (listing->folder != m_path)
                return;
            const QString current = highlightedPath();
            m_model->setSubfolders(std::move(listing->names));
            const int row = m_model->rowOfPath(current);
            setCurrentRow(row >= 0 ? row : m_model->chainLength() - 1);
            Q_EMIT listed();
        };
    });
}

QString DirList::highlightedPath() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? m_model->pathAt(current.row()) : m_path;
}

int DirList::count() const {
    return m_model->rowCount();
}

QString DirList::text(int row) const {
    return m_model->textAt(row);
}

int DirList::currentRow() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void DirList::setCurrentRow(int row) {
    selectionModel()->setCurrentIndex(m_model->index(row, 0), QItemSelectionModel::ClearAndSelect);
}

bool DirList::isListing() const {
    return m_runner->isRunning();
}

// ---- FileList ----

FileList::FileList(QWidget* parent)
    : QListView(parent), m_model(new NameListModel(this)), m_runner(new ListingRunner(this)) {
    setModel(m_model);
    // Every line is as high as the first: 100,000 lines are laid out at once.
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // The current row also moves when the list takes the focus (Qt makes
    // the first line current then) or is refilled: only a move the user
    // made is a click.
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (!m_userActing || !current.isValid())
                    return;
                m_pendingName.clear();
                Q_EMIT fileClicked(m_model->name(current.row()));
            });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FileList::selectionEdited);
    connect(m_runner, &ListingRunner::runningChanged, this, &FileList::showBusy);
}

void FileList::showBusy(bool busy) {
    if (busy)
        viewport()->setCursor(Qt::BusyCursor);
    else
        viewport()->unsetCursor();
    Q_EMIT listingChanged(busy);
}

void FileList::mousePressEvent(QMouseEvent* e) {
    const int before = currentRow();
    const QScopedValueRollback acting(m_userActing, true);
    QListView::mousePressEvent(e);
    // A click on the line that is already current is a click too.
    const QModelIndex hit = indexAt(e->position().toPoint());
    if (hit.isValid())
        m_pendingName.clear();
    if (hit.isValid() && e->button() == Qt::LeftButton && currentRow() == before &&
        hit.row() == before)
        Q_EMIT fileClicked(m_model->name(before));
}

void FileList::mouseMoveEvent(QMouseEvent* e) {
    // Dragging with the button down moves the selection as the user goes.
    const QScopedValueRollback acting(m_userActing, true);
    QListView::mouseMoveEvent(e);
}

void FileList::keyPressEvent(QKeyEvent* e) {
    const int before = currentRow();
    {
        const QScopedValueRollback acting(m_userActing, true);
        QListView::keyPressEvent(e);
    }
    // Enter or Space on the current line (made current by the focus, say)
    // opens it, as a click would.
    const bool confirm =
        e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Space;
    if (confirm && e->modifiers() == Qt::NoModifier && currentRow() == before && before >= 0) {
        m_pendingName.clear();
        selectionModel()->select(m_model->index(before, 0), QItemSelectionModel::Select);
        Q_EMIT fileClicked(m_model->name(before));
    }
}

void FileList::setPath(const QString& folder) {
    m_path = folder;
    startListing();
}

void FileList::setPattern(const QString& pattern) {
    m_pattern = pattern;
    startListing();
}

void FileList::refresh() {
    startListing();
}

bool FileList::isListing() const {
    return m_runner->isRunning();
}

void FileList::startListing() {
    const QString folder = m_path, pattern = m_pattern;
    // The rows of another folder or pattern are no files of this one.
    if (folder != m_listedPath || pattern != m_listedPattern)
        showListing(folder, pattern, {}, false);
    if (folder.isEmpty()) {
        m_runner->abandon();
        return;
    }
    if (isListing() && folder == m_runningPath && pattern == m_runningPattern) {
        // It may have read the folder before what made it change.
        m_listAgain = true;
        return;
    }
    m_listAgain = false;
    m_runningPath = folder;
    m_runningPattern = pattern;
    m_runner->start([this, folder, pattern](const std::atomic<bool>& cancelled) {
        auto listing = std::make_shared<FolderListing>(listFolder(folder, pattern, &cancelled));
        return ListingRunner::Done([this, listing] {
            showListing(listing->folder, listing->pattern, std::move(listing->names), true);
            if (m_listAgain) {
                m_listAgain = false;
                startListing();
            }
        });
    });
}

void FileList::showListing(const QString& folder, const QString& pattern, QStringList names,
                           bool final) {
    const bool same = folder == m_listedPath && pattern == m_listedPattern;
    const QStringList selected = same ? selectedNames() : QStringList();
    const QString current = same ? m_model->name(currentRow()) : QString();
    const bool hadSelection = selectionModel()->hasSelection();
    m_model->setNames(std::move(names));
    m_listedPath = folder;
    m_listedPattern = pattern;

    const int pending = final && m_pendingPath == folder ? rowOf(m_pendingName) : -1;
    if (final && m_pendingPath == folder)
        m_pendingName.clear();
    if (pending >= 0) {
        setCurrentRow(pending);
    } else if (!selected.isEmpty() || !current.isEmpty()) {
        // The same lines again, found by name.
        const QSet<QString> wanted(selected.cbegin(), selected.cend());
        QItemSelection keep;
        const QStringList& all = m_model->names();
        for (int row = 0; row < all.size(); ++row) {
            if (!wanted.contains(all[row]))
                continue;
            int last = row;
            while (last + 1 < all.size() && wanted.contains(all[last + 1]))
                ++last;
            keep.select(m_model->index(row, 0), m_model->index(last, 0));
            row = last;
        }
        const int currentAt = rowOf(current);
        if (currentAt >= 0)
            selectionModel()->setCurrentIndex(m_model->index(currentAt, 0),
                                              QItemSelectionModel::NoUpdate);
        selectionModel()->select(keep, QItemSelectionModel::ClearAndSelect);
    }
    if (hadSelection || selectionModel()->hasSelection())
        Q_EMIT selectionEdited();
    if (final)
        Q_EMIT listed();
}

QString FileList::fileName() const {
    const QModelIndex current = currentIndex();
    return current.isValid() && selectionModel()->isSelected(current) ? m_model->name(current.row())
                                                                      : QString();
}

int FileList::currentRow() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void FileList::setCurrentRow(int row) {
    const QModelIndex index = m_model->index(row, 0);
    if (!index.isValid()) {
        selectionModel()->clear();
        return;
    }
    selectionModel()->setCurrentIndex(index, selectionMode() == QAbstractItemView::NoSelection
                                                 ? QItemSelectionModel::NoUpdate
                                                 : QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
}

QStringList FileList::selectedNames() const {
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    QStringList names;
    names.reserve(rows.size());
    for (int row : rows)
        names << m_model->name(row);
    return names;
}

int FileList::selectedCount() const {
    return int(selectionModel()->selectedRows().size());
}

QRect FileList::rowRect(int row) {
    const QModelIndex index = m_model->index(row, 0);
    scrollTo(index);
    return visualRect(index);
}

void FileList::setListing(const QString& folder, const QString& pattern, const QStringList& names) {
    m_runner->abandon();
    m_path = folder;
    m_pattern = pattern;
    showListing(folder, pattern, names, true);
}

void FileList::expectListing(const QString& folder, const QString& pattern) {
    m_runner->abandon();
    m_path = folder;
    m_pattern = pattern;
    if (folder != m_listedPath || pattern != m_listedPattern)
        showListing(folder, pattern, {}, false);
}

bool FileList::selectName(const QString& name) {
    const int row = rowOf(name);
    if (row < 0)
        return false;
    setCurrentRow(row);
    return true;
}

void FileList::selectWhenListed(const QString& name) {
    m_pendingName.clear();
    if (!isListing() && selectName(name))
        return;
    m_pendingPath = m_path;
    m_pendingName = name;
    if (!isListing())
        refresh(); // made since the folder was listed
}

} // namespace lumenta
