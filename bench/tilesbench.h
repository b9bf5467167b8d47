#pragma once
// The parts of lumenta-tiles-bench (tiles_bench.cpp says what it measures).
#include <QString>
#include <QStringList>

#include <vector>

namespace lumenta::tilesbench {

bool makePictures(const QString& folder);
int decoders(QStringList files, int runs);
int viewer(const QString& program, const QStringList& files, int runs);
// One measurement of the viewer, in a process of its own.
int viewerRun(int argc, char** argv);

// Median wall and processor times, in milliseconds (-1 when it failed).
struct Timing {
    double wall = -1, cpu = -1;
};

// What the anchors take.
struct Anchors {
    Timing topLeft, bottomRight, thumbnail;
};
Anchors measureAnchors(const QString& file, int runs);

double median(std::vector<double> v);

} // namespace lumenta::tilesbench
