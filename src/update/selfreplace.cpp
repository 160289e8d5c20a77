#include "selfreplace.h"

#include "platformservices.h"

#include <QDir>
#include <QFileInfo>

bool RunReplacementStep(const QString &executablePath, PlatformServices &services)
{
    const QFileInfo self(executablePath);
    if (!self.fileName().startsWith(QLatin1Char('_')))
        return false;
    const QString target = self.absoluteDir().filePath(ProgramFileName);
    // A failed copy (the old program still holds its file) ends silently and
    // leaves the "_" file for another try.
    if (services.copyFileOver(self.absoluteFilePath(), target))
        services.startProgram(target, {}, false);
    return true;
}
