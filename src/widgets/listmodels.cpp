#include "widgets/listmodels.h"

#include "system/filelist.h"

#include <QDir>

namespace lumenta {

// ---- NameListModel ----

int NameListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_names.size());
}

QVariant NameListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_names.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return m_names.at(index.row());
    return {};
}

Qt::ItemFlags NameListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
           Qt::ItemNeverHasChildren;
}

void NameListModel::setNames(QStringList names) {
    beginResetModel();
    m_names.swap(names);
    endResetModel();
}

// ---- FolderListModel ----

FolderListModel::FolderListModel(const QIcon& open, const QIcon& closed, QObject* parent)
    : QAbstractListModel(parent), m_open(open), m_closed(closed) {}

int FolderListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_chain.size() + m_subfolders.size());
}

QString FolderListModel::pathAt(int row) const {
    if (row < 0)
        return QString();
    if (row < m_chain.size())
        return m_chain.at(row);
    row -= int(m_chain.size());
    if (row >= m_subfolders.size() || m_chain.isEmpty())
        return QString();
    return QDir(m_chain.last()).filePath(m_subfolders.at(row));
}

QString FolderListModel::textAt(int row) const {
    if (row < 0 || row >= rowCount())
        return QString();
    const bool inChain = row < m_chain.size();
    const int depth = inChain ? row : int(m_chain.size());
    QString name;
    if (!inChain)
        name = m_subfolders.at(row - m_chain.size());
    else if (m_chain.at(row) == QLatin1String("/"))
        name = m_chain.at(row);
    else
        name = m_chain.at(row).section(QLatin1Char('/'), -1);
    return QString(depth * 2, QLatin1Char(' ')) + name;
}

int FolderListModel::rowOfPath(const QString& path) const {
    const int inChain = int(m_chain.indexOf(path));
    if (inChain >= 0 || m_chain.isEmpty())
        return inChain;
    if (QDir::cleanPath(path + QStringLiteral("/..")) != m_chain.last())
        return -1;
    const int sub = int(m_subfolders.indexOf(path.section(QLatin1Char('/'), -1)));
    return sub < 0 ? -1 : int(m_chain.size()) + sub;
}

QVariant FolderListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return textAt(index.row());
    case Qt::DecorationRole:
        return index.row() < m_chain.size() ? m_open : m_closed;
    case PathRole:
        return pathAt(index.row());
    default:
        return {};
    }
}

void FolderListModel::setFolder(const QString& folder) {
    beginResetModel();
    m_chain = folderChain(folder);
    m_subfolders.clear();
    endResetModel();
}

void FolderListModel::setSubfolders(QStringList names) {
    beginResetModel();
    m_subfolders.swap(names);
    endResetModel();
}

} // namespace lumenta
