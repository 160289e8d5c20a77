#pragma once

#include <QString>

// What one update check works with. The server address and the credentials
// come from the build configuration; KORVEL_UPDATE_BASE overrides the
// address (tests point it at a server on the loopback interface).
struct UpdateSettings {
    QString baseAddress; // scheme and host, no trailing slash; empty: no server
    QString userName;
    QString password;
    QString caFile;        // empty: the system's certificate store
    QString programFolder; // where the download goes
    int reachTimeoutMs = 3000;
    int transferTimeoutMs = 60000;
};

QString UpdateBaseAddress();
QString UpdateUserName();
QString UpdatePassword();

// [ProgSett] aUpdateCaFile of the settings file: the CA certificates (PEM)
// of a private update server. A relative path is taken from the program
// folder.
QString UpdateCaFile(const QString &settingsPath, const QString &programFolder);

UpdateSettings CurrentUpdateSettings(const QString &settingsPath, const QString &programFolder);

QString VersionFileAddress(const QString &baseAddress);
QString ProgramFileAddress(const QString &baseAddress);

// The program folder with a trailing separator.
QString ProgramFolderWithSeparator(const QString &programFolder);
// The program folder, "_" and ProgramFileName.
QString DownloadedFilePath(const QString &programFolder);
