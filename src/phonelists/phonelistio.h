#pragma once

#include "phonelistfile.h"

#include <QString>

class PhoneTable;

// What an import did, for the log.
struct ImportResult {
    int rows = 0;
    int badFields = 0;    // fields that were not phone serials and were left empty
    int firstBadLine = 0; // line number of the first of them
};

// The phone table as phone-list lines, in table order.
QVector<PhoneListLine> PhoneTableLines(const PhoneTable &table);

// Replaces the phone table by the file's content: one row per line, at
// least `aTotalKeyNo` rows, numbered from 1. The file is read before the
// table is touched, so a file that cannot be read leaves the table as it
// was; false with the reason then.
bool aImportFromTXT(PhoneTable &table, int aTotalKeyNo, const QString &aFilePName, QString &error,
                    ImportResult *result = nullptr);

// Writes the phone table to `fileName`, replacing the file. The table and
// its current row are left as they were, also when writing fails.
bool aExportToTXT(PhoneTable &table, const QString &fileName, QString &error);
