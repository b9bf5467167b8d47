#include "widgets/browsewidgets.h"

#include "system/filelist.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScopedValueRollback>
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

namespace {
constexpr int kPathRole = Qt::UserRole + 1;
}

DirList::DirList(QWidget* parent) : QListWidget(parent) {
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        if (item)
            setPath(item->data(kPathRole).toString());
    });
}

bool DirList::setPath(const QString& folder) {
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    const QFileInfo fi(clean);
    if (!fi.isDir() || !fi.isReadable() || !fi.isExecutable())
        return false;
    const bool changed = clean != m_path;
    m_path = clean;
    fill();
    if (changed)
        Q_EMIT pathChanged(m_path);
    return true;
}

QString DirList::highlightedPath() const {
    const QListWidgetItem* item = currentItem();
    return item ? item->data(kPathRole).toString() : QString();
}

void DirList::refresh() {
    fill();
}

void DirList::fill() {
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QStringList chain = folderChain(m_path);
    int depth = 0;
    for (const QString& p : chain) {
        const QString name = p == QLatin1String("/") ? p : QFileInfo(p).fileName();
        auto* item = new QListWidgetItem(open, QString(depth * 2, QLatin1Char(' ')) + name, this);
        item->setData(kPathRole, p);
        ++depth;
    }
    setCurrentRow(int(chain.size()) - 1);
    for (const QString& sub : listSubfolders(m_path)) {
        auto* item = new QListWidgetItem(closed, QString(depth * 2, QLatin1Char(' ')) + sub, this);
        item->setData(kPathRole, QDir(m_path).filePath(sub));
    }
}

// ---- FileList ----

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    // The current row also moves when the list takes the focus (Qt makes
    // the first line current then) or is refilled: only a move the user
    // made is a click.
    connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
        if (m_userActing && row >= 0)
            Q_EMIT fileClicked(item(row)->text());
    });
}

void FileList::mousePressEvent(QMouseEvent* e) {
    const int before = currentRow();
    const QScopedValueRollback acting(m_userActing, true);
    QListWidget::mousePressEvent(e);
    // A click on the line that is already current is a click too.
    const QListWidgetItem* hit = itemAt(e->position().toPoint());
    if (hit && e->button() == Qt::LeftButton && currentRow() == before && row(hit) == before)
        Q_EMIT fileClicked(hit->text());
}

void FileList::mouseMoveEvent(QMouseEvent* e) {
    // Dragging with the button down moves the selection as the user goes.
    const QScopedValueRollback acting(m_userActing, true);
    QListWidget::mouseMoveEvent(e);
}

void FileList::keyPressEvent(QKeyEvent* e) {
    const int before = currentRow();
    {
        const QScopedValueRollback acting(m_userActing, true);
        QListWidget::keyPressEvent(e);
    }
    // Enter or Space on the current line (made current by the focus, say)
    // opens it, as a click would.
    const bool confirm =
        e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Space;
    if (confirm && e->modifiers() == Qt::NoModifier && currentRow() == before && before >= 0) {
        if (QListWidgetItem* it = item(before)) {
            it->setSelected(true);
            Q_EMIT fileClicked(it->text());
        }
    }
}

void FileList::setPath(const QString& folder) {
    m_path = folder;
    refresh();
}

void FileList::setPattern(const QString& pattern) {
    m_pattern = pattern;
    refresh();
}

void FileList::refresh() {
    clear();
    if (!m_path.isEmpty())
        addItems(listFiles(m_path, m_pattern));
    setCurrentRow(-1);
}

QString FileList::fileName() const {
    const QListWidgetItem* it = currentItem();
    return it && it->isSelected() ? it->text() : QString();
}

void FileList::setListing(const QString& folder, const QString& pattern, const QStringList& names) {
    const QSignalBlocker quiet(this);
    m_path = folder;
    m_pattern = pattern;
    clear();
    addItems(names);
    setCurrentRow(-1);
}

bool FileList::selectName(const QString& name) {
    const QList<QListWidgetItem*> found =
        findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (found.isEmpty())
        return false;
    const QSignalBlocker quiet(this);
    setCurrentItem(found.first());
    found.first()->setSelected(true);
    scrollToItem(found.first());
    return true;
}

} // namespace lumenta
