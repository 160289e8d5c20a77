#include "settingsstore.h"

#include "inifile.h"

namespace K = SettingsKeys;

namespace {

// The read-back is opt-in: a file that never had it on keeps the lines
// technicians know, without the key.
bool writeVerifyWrite(IniFile &ini, bool on)
{
    const bool present = ini.readString(K::ProgSett, K::VerifyWrite, QStringLiteral("?")) !=
                         QLatin1String("?");
    return (!on && !present) || ini.writeBool(K::ProgSett, K::VerifyWrite, on);
}

} // namespace

QString SettingsFilePath(const QString &executablePath)
{
    qsizetype nameStart = executablePath.lastIndexOf(QLatin1Char('/')) + 1;
#ifdef Q_OS_WIN
    nameStart = qMax(nameStart, executablePath.lastIndexOf(QLatin1Char('\\')) + 1);
#endif
    const qsizetype dot = executablePath.lastIndexOf(QLatin1Char('.'));
    const QString withoutExtension = dot >= nameStart ? executablePath.left(dot) : executablePath;
    return withoutExtension + QLatin1String(".ini");
}

SettingsValues LoadSettingsValues(const QString &iniPath)
{
    const IniFile ini(iniPath);
    const SettingsValues defaults;
    SettingsValues v;
    v.timeOutProtokol = ini.readInteger(K::TimeSett, K::TimeOutProtokol, defaults.timeOutProtokol);
    v.timeOutRead = ini.readInteger(K::TimeSett, K::TimeOutRead, defaults.timeOutRead);
    v.timeOutWrite = ini.readInteger(K::TimeSett, K::TimeOutWrite, defaults.timeOutWrite);
    v.usbOrSerial = ini.readInteger(K::TimeSett, K::USBorSerial, defaults.usbOrSerial);
    v.sendReport = ini.readBool(K::ReportSett, K::SendReport, defaults.sendReport);
    v.warnings = ini.readBool(K::ReportSett, K::Warnings, defaults.warnings);
    v.loadOnlyCurrent = ini.readBool(K::ReportSett, K::LoadOnlyCurrent, defaults.loadOnlyCurrent);
    v.txtFilePath = ini.readString(K::PathSett, K::TxtFilePath, defaults.txtFilePath);
    v.txtTestFilePath = ini.readString(K::PathSett, K::TxtTestFilePath, defaults.txtTestFilePath);
    v.lastPortNo = ini.readInteger(K::ProgSett, K::LastPortNo, defaults.lastPortNo);
    v.verifyWrite = ini.readBool(K::ProgSett, K::VerifyWrite, defaults.verifyWrite);
    return v;
}

bool SaveSettingsValues(const QString &iniPath, const SettingsValues &values, QString *error)
{
    IniFile ini(iniPath);
    const bool ok = ini.writeInteger(K::TimeSett, K::TimeOutProtokol, values.timeOutProtokol) &&
                    ini.writeInteger(K::TimeSett, K::TimeOutRead, values.timeOutRead) &&
                    ini.writeInteger(K::TimeSett, K::TimeOutWrite, values.timeOutWrite) &&
                    ini.writeInteger(K::TimeSett, K::USBorSerial, values.usbOrSerial) &&
                    ini.writeBool(K::ReportSett, K::SendReport, values.sendReport) &&
                    ini.writeBool(K::ReportSett, K::Warnings, values.warnings) &&
                    ini.writeBool(K::ReportSett, K::LoadOnlyCurrent, values.loadOnlyCurrent) &&
                    ini.writeString(K::PathSett, K::TxtFilePath, values.txtFilePath) &&
                    ini.writeString(K::PathSett, K::TxtTestFilePath, values.txtTestFilePath) &&
                    writeVerifyWrite(ini, values.verifyWrite);
    if (!ok && error)
        *error = ini.errorString();
    return ok;
}

int LoadLastPort(const QString &iniPath)
{
    return IniFile(iniPath).readInteger(K::ProgSett, K::LastPortNo, 0);
}

bool SaveLastPort(const QString &iniPath, int port, QString *error)
{
    IniFile ini(iniPath);
    const bool ok = ini.writeInteger(K::ProgSett, K::LastPortNo, port);
    if (!ok && error)
        *error = ini.errorString();
    return ok;
}
