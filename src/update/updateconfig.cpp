#include "updateconfig.h"

#include "inifile.h"
#include "selfreplace.h"
#include "settingsstore.h"
#include "updateconfig_scrambled.h"

#include <QDir>

namespace
{

// Undoes the build's scrambling; the key stream matches korvel_scramble().
QString unscramble(const unsigned char *bytes, int length, int firstKey)
{
    QByteArray plain(length, Qt::Uninitialized);
    int key = firstKey;
    for (int i = 0; i < length; ++i) {
        plain[i] = char(bytes[i] ^ key);
        key = (key * 73 + 41) % 251;
    }
    return QString::fromUtf8(plain);
}

} // namespace

QString UpdateBaseAddress()
{
    if (qEnvironmentVariableIsSet("KORVEL_UPDATE_BASE"))
        return qEnvironmentVariable("KORVEL_UPDATE_BASE");
    return unscramble(UpdateScrambled::Base, UpdateScrambled::BaseLength,
                      UpdateScrambled::BaseFirstKey);
}

QString UpdateUserName()
{
    return unscramble(UpdateScrambled::User, UpdateScrambled::UserLength,
                      UpdateScrambled::UserFirstKey);
}

QString UpdatePassword()
{
    return unscramble(UpdateScrambled::Password, UpdateScrambled::PasswordLength,
                      UpdateScrambled::PasswordFirstKey);
}

QString UpdateCaFile(const QString &settingsPath, const QString &programFolder)
{
    if (settingsPath.isEmpty())
        return QString();
    const QString file = IniFile(settingsPath)
                             .readString(SettingsKeys::ProgSett, QStringLiteral("aUpdateCaFile"))
                             .trimmed();
    if (file.isEmpty())
        return QString();
    return QDir(programFolder).absoluteFilePath(file);
}

UpdateSettings CurrentUpdateSettings(const QString &settingsPath, const QString &programFolder)
{
    UpdateSettings s;
    s.baseAddress = UpdateBaseAddress();
    // The paths are appended with their own slash.
    while (s.baseAddress.endsWith(QLatin1Char('/')))
        s.baseAddress.chop(1);
    s.userName = UpdateUserName();
    s.password = UpdatePassword();
    s.caFile = UpdateCaFile(settingsPath, programFolder);
    s.programFolder = programFolder;
    return s;
}

QString VersionFileAddress(const QString &baseAddress)
{
    return baseAddress + QStringLiteral("/qbxnetsoftware/Tessera/activeversion.txt");
}

QString ProgramFileAddress(const QString &baseAddress)
{
    return baseAddress + QStringLiteral("/qbxnetsoftware/Tessera/") + ProgramFileName;
}

QString ProgramFolderWithSeparator(const QString &programFolder)
{
    QString folder = QDir::toNativeSeparators(QDir(programFolder).absolutePath());
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    return folder;
}

QString DownloadedFilePath(const QString &programFolder)
{
    return QDir(programFolder).absoluteFilePath(QStringLiteral("_") + ProgramFileName);
}
