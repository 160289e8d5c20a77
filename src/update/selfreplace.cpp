#include "selfreplace.h"

#include "platformservices.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QThread>

bool RunReplacementStep(const QString &executablePath, PlatformServices &services, int waitMs)
{
    const QFileInfo self(executablePath);
    if (!self.fileName().startsWith(QLatin1Char('_')))
        return false;
    const QString target = self.absoluteDir().filePath(ProgramFileName);
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        if (services.copyFileOver(self.absoluteFilePath(), target)) {
            services.startProgram(target, {}, false);
            return true;
        }
        // Still failing (the old program holds its file): end silently and
        // leave the "_" file for another try.
        if (deadline.hasExpired())
            return true;
        QThread::msleep(100);
    }
}
