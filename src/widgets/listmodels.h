#pragma once
// The models behind the folder and file lists: a list of 100,000 names
// costs one string a row, and is taken at once (one reset, no row added one
// by one).
#include <QAbstractListModel>
#include <QIcon>
#include <QStringList>

namespace lumenta {

// One name a row (the file list).
class NameListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Replaces every row.
    void setNames(QStringList names);
    const QStringList& names() const { return m_names; }
    QString name(int row) const {
        return row >= 0 && row < m_names.size() ? m_names[row] : QString();
    }
    // The row of the name (exact, case-sensitive), or -1.
    int rowOf(const QString& name) const { return int(m_names.indexOf(name)); }

private:
    QStringList m_names;
};

// The folder list: the folder and its ancestors from the root down (open
// folders), then its subfolders (closed folders), each indented by its
// depth.
class FolderListModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int PathRole = Qt::UserRole + 1;

    FolderListModel(const QIcon& open, const QIcon& closed, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The chain of folder, without subfolders.
    void setFolder(const QString& folder);
    // Replaces the subfolders (names, in their order).
    void setSubfolders(QStringList names);
    int chainLength() const { return int(m_chain.size()); }
    QString pathAt(int row) const;
    QString textAt(int row) const;
    // The row of the folder path, or -1.
    int rowOfPath(const QString& path) const;

private:
    QIcon m_open, m_closed;
    QStringList m_chain; // full paths, root first
    QStringList m_subfolders;
};

} // namespace lumenta
