#pragma once

#include "dialogs.h"
#include "installationtables.h"

#include <QStringList>

// Both tables with scripted message boxes. The clearing option starts off so
// that building an installation keeps a phone list added before it.
struct TablesFixture {
    ScriptedDialogs dialogs;
    bool clearPhoneTbl = false;
    bool showWarnings = true;
    InstallationTables tables{dialogs};

    TablesFixture()
    {
        tables.setClearPhoneTblOption([this] { return clearPhoneTbl; });
        tables.setShowWarnings([this] { return showWarnings; });
    }

    DeviceTable &devices() { return tables.tblDeviceSerials(); }
    PhoneTable &phones() { return tables.tblPhoneSerials(); }

    // Device rows from a compact description, e.g. "M0:4 E1:16 e2:16":
    // M for a MAIN, E for an EXT, X for a row of neither type (2), lower case
    // for an inactive row, then the order number and, after the colon, the
    // button count. All are Korvel.
    bool addDevices(const QString &rows)
    {
        qint32 serial = 70001;
        for (const QString &token : rows.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QChar kind = token.at(0);
            const QStringList numbers = token.mid(1).split(QLatin1Char(':'));
            if (numbers.size() != 2)
                return false;
            const QChar upper = kind.toUpper();
            const qint32 type = upper == QLatin1Char('M') ? 0 : upper == QLatin1Char('X') ? 2 : 1;
            if (!devices().appendFoundDevice(serial++, type, numbers.at(0).toInt()) ||
                !SetFieldValue(devices(), DeviceTable::SeriesTypeStr, QStringLiteral("Korvel")) ||
                !SetFieldValue(devices(), DeviceTable::DeviceKeyNo, numbers.at(1).toInt()) ||
                !SetFieldValue(devices(), DeviceTable::DeviceActive, kind.isUpper()))
                return false;
        }
        return true;
    }

    // Phone rows 1..count, PhoneSN1 500 + button.
    bool addPhones(int count)
    {
        for (int id = 1; id <= count; ++id) {
            if (!phones().appendRow(id, 500 + id, std::nullopt))
                return false;
        }
        return true;
    }
};
