#pragma once
// The player's modes without a window: every frame written out as PNG
// files, or a summary of the animation printed.
#include <QString>

class QTextStream;

namespace lumenta::aawin {

// Exit codes of the player.
enum ExitCode : int { ExitOk = 0, ExitUnreadable = 1, ExitOutputFailed = 2 };

// "Impossible de lire l'animation : <path>".
QString unreadableMessage(const QString& path);

// Decodes every frame once and writes frame0000.png, frame0001.png, ...
// into `folder` (made when missing), with timing.txt: how long each frame
// stays on screen, in whole milliseconds, one line per frame.
int exportFrames(const QString& animation, const QString& folder, QTextStream& err);

// Prints the number of frames, their size and how long each one stays on
// screen.
int printInfo(const QString& animation, QTextStream& out, QTextStream& err);

} // namespace lumenta::aawin
