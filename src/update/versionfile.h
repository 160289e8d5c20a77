#pragma once

#include "fieldutil.h"

#include <QString>

// A version "major.minor" read as the whole number of its digits with the
// first "." removed ("2.8" gives 28, "2.10" gives 210). Returns false with
// `error` set when what is left is not a whole number ("2.8.1").
bool VersionNumber(const QString &version, qint64 *number, QString *error);

// The version file on the server: "version;unused;size[;sha256]".
struct VersionFileInfo {
    QString version;      // field 1
    QString expectedSize; // field 3, exactly as written (compared as text)
    QString sha256;       // field 4 when it is 64 hexadecimal digits, else empty
};

VersionFileInfo ParseVersionFile(const QString &text);
