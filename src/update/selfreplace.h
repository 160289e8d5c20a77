#pragma once

#include <QString>

class PlatformServices;

inline const QString ProgramFileName = QStringLiteral("Korvel.x64.exe");
inline const QString ProgramVersion = QStringLiteral("2.8");

// The replacement step of an update: a program file whose name begins with
// "_" copies itself over ProgramFileName in its folder and starts that copy.
// Returns true when `executablePath` is such a file; the caller then ends
// without creating any window, whether or not the copy succeeded.
bool RunReplacementStep(const QString &executablePath, PlatformServices &services);
