#pragma once
// What the picture service keeps about tiles (pictureservice_tiles.cpp),
// shared with its dispatching (pictureservice.cpp).
#include "picture/pictureservice.h"

#include <QHash>
#include <QSet>

#include <atomic>

namespace lumenta {

// What tells one version of a file from another (size and time).
QString pictureStamp(const QString& path);

// One pass of a tiled picture's decoder over some of its tiles.
struct PictureService::TileJob {
    std::shared_ptr<const TiledPicture> picture;
    QString prefix;      // the tile keys' start: the file and its stamp
    QList<QPoint> cells; // decoded in one pass
    bool urgent = false; // some are in view
    bool running = false;
    QSet<QPoint> pending; // GUI thread: not arrived yet
    std::atomic<bool> cancelled{false};
};

// What one owner and slot waits for.
struct PictureService::TileWant {
    QObject* owner = nullptr;
    std::shared_ptr<const TiledPicture> picture;
    QString prefix;
    QSet<QPoint> waiting; // asked for, not delivered yet
    QSet<QPoint> urgent;  // those of them in view
    TileHandler handler;
};

} // namespace lumenta
