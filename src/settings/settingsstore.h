#pragma once

#include <QLatin1String>
#include <QString>

// Sections and keys of the settings file, spelled as existing files spell
// them (technicians carry their files from one version to the next).
namespace SettingsKeys
{
constexpr QLatin1String TimeSett("TimeSett");
constexpr QLatin1String TimeOutProtokol("TimeOutProtokol");
constexpr QLatin1String TimeOutRead("TimeOutRead");
constexpr QLatin1String TimeOutWrite("TimeOutWrite");
constexpr QLatin1String USBorSerial("aUSBorSerial");

constexpr QLatin1String ReportSett("ReportSett");
constexpr QLatin1String SendReport("aSendReport");
constexpr QLatin1String Warnings("aWarnings");
constexpr QLatin1String LoadOnlyCurrent("aLoadOnlyCurrent");

constexpr QLatin1String PathSett("PathSett");
constexpr QLatin1String TxtFilePath("aTxtFilePath");
constexpr QLatin1String TxtTestFilePath("aTxtTestFilePath");

constexpr QLatin1String ProgSett("ProgSett");
constexpr QLatin1String LastPortNo("aLastPortNo");
constexpr QLatin1String VerifyWrite("aVerifyWrite");
} // namespace SettingsKeys

constexpr int DefaultTimeOut = 300;

// aUSBorSerial; a stored value outside these is kept as it is.
enum PortType : int { PortTypeUsb = 0, PortTypeRs232 = 1 };

// The values of the settings file, each with the default a missing key,
// section or file reads as.
struct SettingsValues {
    // TimeSett, milliseconds, taken as stored (no range check)
    int timeOutProtokol = DefaultTimeOut; // TimeOutProtokol
    int timeOutRead = DefaultTimeOut;     // TimeOutRead
    int timeOutWrite = DefaultTimeOut;    // TimeOutWrite
    int usbOrSerial = PortTypeUsb;        // aUSBorSerial
    // ReportSett
    bool sendReport = true;       // aSendReport: send crash reports automatically
    bool warnings = true;         // aWarnings: show optional warnings and questions
    bool loadOnlyCurrent = false; // aLoadOnlyCurrent: list only this year's files
    // PathSett
    QString txtFilePath;     // aTxtFilePath: folder of the files for programming
    QString txtTestFilePath; // aTxtTestFilePath: folder of the files for testing
    // ProgSett
    int lastPortNo = 0; // aLastPortNo: COM port the interface box last answered on
    bool verifyWrite = false; // aVerifyWrite: read every write back and compare
};

// The settings file belongs next to the program and is named like it:
// ".../Korvel.x64.exe" gives ".../Korvel.x64.ini"; a name without an
// extension gets ".ini" appended.
QString SettingsFilePath(const QString &executablePath);

// Reading never fails: whatever is missing or malformed reads as its default.
SettingsValues LoadSettingsValues(const QString &iniPath);

// Writes the nine keys of TimeSett, ReportSett and PathSett, in that order,
// then aVerifyWrite when it is on or already in the file.
// aLastPortNo is not written: only SaveLastPort owns it, so a value loaded
// at start cannot overwrite the port a scan found since. Stops at the first
// failed write and returns false with `error` set.
bool SaveSettingsValues(const QString &iniPath, const SettingsValues &values,
                        QString *error = nullptr);

// aLastPortNo, 0 when absent.
int LoadLastPort(const QString &iniPath);
bool SaveLastPort(const QString &iniPath, int port, QString *error = nullptr);
