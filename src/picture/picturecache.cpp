#include "picture/picturecache.h"

namespace lumenta {

qint64 PictureCache::bytesOf(const Picture& pic) {
    return pic.image.sizeInBytes() + pic.metafileData.size();
}

std::optional<Picture> PictureCache::find(const QString& key) {
    QMutexLocker lock(&m_mutex);
    const auto it = m_index.constFind(key);
    if (it == m_index.constEnd())
        return std::nullopt;
    m_entries.splice(m_entries.begin(), m_entries, *it);
    return m_entries.front().picture;
}

void PictureCache::dropOldest(qint64 bytes) {
    while (!m_entries.empty() && m_kept + m_reserved + bytes > m_budget) {
        m_kept -= m_entries.back().bytes;
        m_index.remove(m_entries.back().key);
        m_entries.pop_back();
    }
}

bool PictureCache::makeRoom(qint64 bytes) {
    if (bytes > m_budget - m_reserved)
        return false;
    dropOldest(bytes);
    return true;
}

void PictureCache::insert(const QString& key, const Picture& pic) {
    QMutexLocker lock(&m_mutex);
    if (const auto it = m_index.constFind(key); it != m_index.constEnd()) {
        m_kept -= (*it)->bytes;
        m_entries.erase(*it);
        m_index.remove(key);
    }
    const qint64 bytes = bytesOf(pic);
    if (!makeRoom(bytes))
        return;
    m_entries.push_front(Entry{key, pic, bytes});
    m_index.insert(key, m_entries.begin());
    m_kept += bytes;
}

bool PictureCache::reserve(qint64 bytes) {
    QMutexLocker lock(&m_mutex);
    if (!makeRoom(bytes))
        return false;
    m_reserved += bytes;
    return true;
}

void PictureCache::release(qint64 bytes) {
    QMutexLocker lock(&m_mutex);
    m_reserved = qMax<qint64>(0, m_reserved - bytes);
}

void PictureCache::setBudget(qint64 bytes) {
    QMutexLocker lock(&m_mutex);
    m_budget = bytes;
    dropOldest(0);
}

qint64 PictureCache::budget() const {
    QMutexLocker lock(&m_mutex);
    return m_budget;
}

qint64 PictureCache::usedBytes() const {
    QMutexLocker lock(&m_mutex);
    return m_kept + m_reserved;
}

int PictureCache::count() const {
    QMutexLocker lock(&m_mutex);
    return int(m_entries.size());
}

void PictureCache::clear() {
    QMutexLocker lock(&m_mutex);
    m_entries.clear();
    m_index.clear();
    m_kept = 0;
}

} // namespace lumenta
