#pragma once
// The pictures the picture service keeps, within a memory budget: the least
// recently used go first. Pictures being decoded ahead of need have their
// room set aside before they are decoded. Safe to use from any thread.
#include "picture/pictureloader.h"

#include <QHash>
#include <QMutex>

#include <list>
#include <optional>

namespace lumenta {

class PictureCache {
public:
    explicit PictureCache(qint64 budgetBytes) : m_budget(budgetBytes) {}

    // The picture kept under key, now the most recently used.
    std::optional<Picture> find(const QString& key);
    // Keeps pic under key (replacing what was there), dropping the least
    // recently used pictures to make room. A picture larger than the budget
    // (less what is set aside) is not kept.
    void insert(const QString& key, const Picture& pic);
    // Sets bytes aside, dropping the least recently used pictures to make
    // room; false, and nothing dropped, when they cannot fit.
    bool reserve(qint64 bytes);
    void release(qint64 bytes);

    void setBudget(qint64 bytes);
    qint64 budget() const;
    qint64 usedBytes() const; // kept plus set aside
    int count() const;
    void clear();

    // What a picture costs in the budget.
    static qint64 bytesOf(const Picture& pic);

private:
    struct Entry {
        QString key;
        Picture picture;
        qint64 bytes;
    };
    // Drops the oldest pictures until `bytes` more fit; false if they cannot.
    bool makeRoom(qint64 bytes);
    void dropOldest(qint64 bytes);

    mutable QMutex m_mutex;
    std::list<Entry> m_entries; // most recently used first
    QHash<QString, std::list<Entry>::iterator> m_index;
    qint64 m_budget;
    qint64 m_kept = 0;
    qint64 m_reserved = 0;
};

} // namespace lumenta
