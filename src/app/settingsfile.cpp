#include "app/settingsfile.h"

#include "app/module1.h"
#include "app/textcodec.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringList>

#include <initializer_list>

namespace lumenta {

namespace {

QByteArray numbersLine(std::initializer_list<int16_t> values) {
    QString line;
    for (int16_t v : values)
        line += printForm(v) + QLatin1Char(' ');
    return line.toUtf8() + "\r\n";
}

// Values of one line: separated by a run of blanks or by a single comma
// (with blanks around it allowed). An empty value between two commas stays
// as an empty token, so the field it stands for keeps its preset.
QStringList lineValues(const QString& line) {
    static const QRegularExpression sep(QStringLiteral("\\s*,\\s*|\\s+"));
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty())
        return {};
    return trimmed.split(sep);
}

void readNumbers(const QString& line, std::initializer_list<int16_t*> fields) {
    const QStringList values = lineValues(line);
    qsizetype i = 0;
    for (int16_t* field : fields) {
        if (i >= values.size())
            break;
        bool ok = false;
        const int v = values.at(i++).toInt(&ok);
        if (ok && v >= INT16_MIN && v <= INT16_MAX)
            *field = static_cast<int16_t>(v);
    }
}

} // namespace

QByteArray formatSettings(const Settings& s) {
    QByteArray out;
    out += numbersLine({s.FullScreenSizeMode, s.FullScreenBackColor});
    out += numbersLine({s.SlideShowType, s.SlideSizeMode, s.SlideOrder, s.SlideBackColor,
                        s.SlidePauseSeconds, s.SlideShowFileName, s.SlideLoop});
    out += numbersLine({s.KeepSearchFolder});
    out += s.SearchFolder.toUtf8() + "\r\n";
    return out;
}

bool parseSettings(const QByteArray& bytes, Settings& s) {
    const QString text = decodeText(bytes);
    if (text.isEmpty())
        return false;
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& l : lines) {
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
    }
    if (lines.size() > 0)
        readNumbers(lines[0], {&s.FullScreenSizeMode, &s.FullScreenBackColor});
    if (lines.size() > 1)
        readNumbers(lines[1], {&s.SlideShowType, &s.SlideSizeMode, &s.SlideOrder, &s.SlideBackColor,
                               &s.SlidePauseSeconds, &s.SlideShowFileName, &s.SlideLoop});
    if (lines.size() > 2)
        readNumbers(lines[2], {&s.KeepSearchFolder});
    if (lines.size() > 3 && !lines[3].isEmpty())
        s.SearchFolder = lines[3];
    return true;
}

bool writeSettingsFile(const QString& path, const Settings& s) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = formatSettings(s);
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

bool readSettingsFile(const QString& path, Settings& s) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    // A settings file is a few hundred bytes; refuse to slurp anything huge.
    const QByteArray bytes = f.read(64 * 1024);
    return parseSettings(bytes, s);
}

} // namespace lumenta
