#include "app/appstate.h"

#include "app/module1.h"
#include "app/settingsfile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace lumenta {

namespace {
const QString kSettingsName = QStringLiteral("Affich.cfg");
}

QString AppState::settingsPath() const {
    if (!settingsPathOverride.isEmpty())
        return settingsPathOverride;
    const QString local = AddBackslash(AppFolder) + kSettingsName;
    const QFileInfo folder(AppFolder);
    if (QFileInfo::exists(local) || (folder.isDir() && folder.isWritable()))
        return local;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return AddBackslash(config) + kSettingsName;
}

bool AppState::SaveSettings() const {
    const QString path = settingsPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    return writeSettingsFile(path, settings);
}

void AppState::loadSettingsAtStartup() {
    Settings s; // the presets: SlideOrder, SlideBackColor and SlideLoop 1, the rest 0
    const QString path = settingsPath();
    if (FileExists(path)) {
        readSettingsFile(path, s);
    } else {
        s.SearchFolder = AppFolder;
    }
    // Slideshow fields that are never saved keep their current values.
    s.SlideMusicOn = settings.SlideMusicOn;
    s.SlideMusicFile = settings.SlideMusicFile;
    s.SlideSource = settings.SlideSource;
    s.SelectionListValid = settings.SelectionListValid;
    settings = s;
}

} // namespace lumenta
