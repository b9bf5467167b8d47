// lumenta-mfrender: renders one Windows metafile to a PNG picture.
//
//   lumenta-mfrender --kind wmf|emf --size WIDTHxHEIGHT
//                    [--input FILE] [--output FILE] [--time-limit SECONDS]
//
// The metafile is read from FILE, or from standard input when --input is
// missing or "-". The PNG (exactly WIDTH x HEIGHT, at most 8192 a side) goes
// to FILE, or to standard output. Diagnostics go to standard error; on
// failure the last line says why. Exit codes: 0 rendered, 1 bad arguments,
// 2 input unreadable, 3 the decoder could not render the file, 4 the output
// could not be written. The program ends itself after --time-limit seconds
// (60 by default) and when the process that started it dies.
#include "companions/common/companion.h"
#include "emfrender.h"
#include "wmfrender.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImageWriter>
#include <QLoggingCategory>

namespace {

constexpr int kMaxSide = 8192;
constexpr qint64 kMaxInputBytes = qint64(512) << 20;
constexpr qint64 kAddressSpaceLimit = qint64(3) << 30;

using namespace lumenta::companion;
constexpr Exit RenderFailed = DecodeFailed;

struct Options {
    QByteArray kind;
    QSize size;
    QString input;
    QString output;
    int timeLimit = 60;
};

int failWith(int code, const QString& why) {
    return lumenta::companion::failWith("lumenta-mfrender", code, why);
}

bool parseSize(const QByteArray& text, QSize* size) {
    const QList<QByteArray> parts = text.split('x');
    if (parts.size() != 2)
        return false;
    bool okW = false, okH = false;
    const int w = parts[0].toInt(&okW), h = parts[1].toInt(&okH);
    if (!okW || !okH || w < 1 || h < 1 || w > kMaxSide || h > kMaxSide)
        return false;
    *size = QSize(w, h);
    return true;
}

bool parseArguments(int argc, char** argv, Options* opt, QString* why) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (i + 1 >= argc) {
            *why = QStringLiteral("missing value after %1").arg(QString::fromLocal8Bit(arg));
            return false;
        }
        const QByteArray value = argv[++i];
        if (arg == "--kind") {
            opt->kind = value;
        } else if (arg == "--size") {
            if (!parseSize(value, &opt->size)) {
                *why = QStringLiteral("bad size %1").arg(QString::fromLocal8Bit(value));
                return false;
            }
        } else if (arg == "--input") {
            opt->input = QString::fromLocal8Bit(value);
        } else if (arg == "--output") {
            opt->output = QString::fromLocal8Bit(value);
        } else if (arg == "--time-limit") {
            bool ok = false;
            opt->timeLimit = value.toInt(&ok);
            if (!ok || opt->timeLimit < 1) {
                *why = QStringLiteral("bad time limit");
                return false;
            }
        } else {
            *why = QStringLiteral("unknown option %1").arg(QString::fromLocal8Bit(arg));
            return false;
        }
    }
    if (opt->kind != "wmf" && opt->kind != "emf") {
        *why = QStringLiteral("--kind must be wmf or emf");
        return false;
    }
    if (!opt->size.isValid()) {
        *why = QStringLiteral("--size WIDTHxHEIGHT is required");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    // Standard output carries only the picture: whatever a library prints
    // there goes to standard error instead.
    const int pictureFd = takeStandardOutput();

    Options opt;
    QString why;
    if (!parseArguments(argc, argv, &opt, &why))
        return failWith(BadArguments, why);
    limitSelf(opt.timeLimit, kAddressSpaceLimit);

    QByteArray bytes;
    if (!readInput(opt.input, kMaxInputBytes, &bytes))
        return failWith(
            BadInput, QStringLiteral("cannot read %1")
                          .arg(opt.input.isEmpty() ? QStringLiteral("standard input") : opt.input));
    if (bytes.isEmpty())
        return failWith(BadInput, QStringLiteral("the input is empty"));

    // Fonts and painting need a GUI application; it never shows anything.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QLoggingCategory::setFilterRules(QStringLiteral("qt.svg*=false"));
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QGuiApplication app(qtArgc, qtArgv);

    const QImage image = opt.kind == "wmf" ? lumenta::mfrender::renderWmf(bytes, opt.size, &why)
                                           : lumenta::mfrender::renderEmf(bytes, opt.size, &why);
    if (image.isNull())
        return failWith(RenderFailed, why.isEmpty() ? QStringLiteral("rendering failed") : why);
    if (image.size() != opt.size)
        return failWith(RenderFailed, QStringLiteral("rendered at the wrong size"));

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(80); // light compression: the picture is read back at once
    if (!writer.write(image))
        return failWith(BadOutput, writer.errorString());

    if (opt.output.isEmpty() || opt.output == QLatin1String("-")) {
        if (!writeAll(pictureFd, png.constData(), png.size()))
            return failWith(BadOutput, QStringLiteral("cannot write standard output"));
    } else {
        QFile out(opt.output);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(png) != png.size())
            return failWith(BadOutput, QStringLiteral("cannot write %1").arg(opt.output));
    }
    return Ok;
}
