#pragma once
// Windows metafiles (WMF, EMF): recognising them, their natural size, and
// rendering them to a bitmap. Rendering runs the decoders in a short-lived
// helper process, so a decoder crash or hang never takes the viewer down.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

namespace lumenta {

enum class MetafileKind { None, Wmf, Emf };

// Recognises a metafile from its first bytes (placeable WMF, plain WMF
// header, EMF header record).
MetafileKind detectMetafile(const QByteArray& head);

// Natural size in pixels at 96 DPI: a placeable WMF from its bounding box and
// units per inch, an EMF from its frame (0.01 mm), a plain WMF from its window
// extent. An invalid QSize when the header is not usable.
QSize metafileNaturalSize(const QByteArray& bytes, MetafileKind kind);

// Renders the metafile at its natural size (the longest side capped at
// kMetafileMaxSide), or at `size` when one is given. A null image, and the
// reason in *error, when the file cannot be rendered, the renderer crashed,
// did not finish within timeoutMs, or `cancelled` returned true (it is
// asked every few milliseconds; the renderer is then killed). Blocks until
// then: call it off the GUI thread. Any thread will do, several at once too.
QImage renderMetafile(const QByteArray& bytes, MetafileKind kind, QString* error = nullptr,
                      int timeoutMs = 15000, QSize size = QSize(),
                      const std::function<bool()>& cancelled = {});

constexpr int kMetafileMaxSide = 8192;

// A header claiming a side longer than this (about 277 m at 96 DPI) is
// forged or broken: metafileNaturalSize() refuses it.
constexpr int kMetafileMaxNaturalSide = 1 << 20;

// The size a metafile of that natural size is rendered at: the same, or
// scaled down (aspect kept, each side at least 1) so that the longest side is
// kMetafileMaxSide. Invalid in, invalid out.
QSize metafileRenderSize(const QSize& natural);

// The helper program that renders metafiles: $LUMENTA_MFRENDER when set,
// else lumenta-mfrender beside the running program, else in the build tree.
// Empty when none is found.
QString metafileRendererPath();

} // namespace lumenta
