#pragma once

#include <QString>

class PlatformServices;

inline const QString ProgramFileName = QStringLiteral("Korvel.x64.exe");
inline const QString ProgramVersion = QStringLiteral("2.8");

// How long the replacement step keeps trying while the old program still
// holds its file: on the start-up chain the old program closes only just
// after it has started the new copy.
constexpr int ReplacementWaitMs = 3000;

// The replacement step of an update: a program file whose name begins with
// "_" copies itself over ProgramFileName in its folder and starts that copy.
// A failed copy is tried again for up to `waitMs`; if it still fails,
// nothing is started. Returns true when `executablePath` is such a file;
// the caller then ends without creating any window, whether or not the copy
// succeeded. Needs no display.
bool RunReplacementStep(const QString &executablePath, PlatformServices &services, int waitMs = 0);
