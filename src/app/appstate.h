#pragma once
// The program-wide variables, owned by the application and handed to every
// window. Tests build a fresh one for each case.
#include "app/settings.h"

#include <QString>
#include <QStringList>

namespace lumenta {

class AppState {
public:
    Settings settings;

    QString AppFolder;          // the program's folder, no trailing separator except "/"
    QString CurrentFilePath;    // file last clicked in the main file list
    QString CurrentFileExt;     // upper-case extension of the file last examined
    QString FullScreenFilePath; // picture the full-screen window shows
    QString LastValidDrive;     // last drive (volume root) a drive list accepted

    // Size of the displayed picture (whole millimetres) and its ratio.
    double PictureWidthMM = 0;
    double PictureHeightMM = 0;
    float PictureAspect = 0;

    // Slideshow selection list and flags. Only entries 0 .. SelectionLastIndex
    // of SelectionList count (-1: an empty list).
    QStringList SelectionList;
    int SelectionLastIndex = -1;
    QString ListFileName;
    int16_t SlideStopRequested = 0;
    int16_t SlidePauseState = 0;

    // File utility.
    int16_t ConfirmAnswer = 0;
    int16_t CopyInProgress = 0;
    int16_t DeleteInProgress = 0;
    int OperationCount = 0;
    int16_t SelectionIsPicture = 0;

    // Where Affich.cfg lives. Empty means "decide from AppFolder" (see
    // settingsPath()); tests set it to a temporary file.
    QString settingsPathOverride;

    // Path of Affich.cfg: in the program's folder when it already holds
    // one or is writable, else in the user's configuration folder.
    QString settingsPath() const;

    // Rewrites Affich.cfg from the settings; failures are silent and the
    // values stay in memory. Returns whether the file was written.
    bool SaveSettings() const;

    // Start-up: takes the first-start values, then reads Affich.cfg when it
    // exists. Never writes the file.
    void loadSettingsAtStartup();
};

} // namespace lumenta
