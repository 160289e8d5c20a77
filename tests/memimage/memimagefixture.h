#pragma once

#include "devicetable.h"
#include "phonetable.h"

#include <QStringList>

#include <optional>

// Device rows from a compact description, e.g. "MK0:10 EK1:16 eP2:4": M for
// a MAIN, E for an EXT, lower case for an inactive row; the series K
// (Korvel), P (Pentry) or U (Unsupported); an optional v for the video
// variant; the order number and, after the colon, the button count. Serial
// numbers are 70001, 70002, ... in the order written.
inline bool addDevices(DeviceTable &devices, const QString &rows)
{
    qint32 serial = 70001;
    for (const QString &token : rows.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QChar kind = token.at(0);
        const QChar series = token.at(1);
        const bool video = token.at(2) == QLatin1Char('v');
        const QStringList numbers = token.mid(video ? 3 : 2).split(QLatin1Char(':'));
        if (numbers.size() != 2)
            return false;
        const QString seriesText = series == QLatin1Char('K')   ? QStringLiteral("Korvel")
                                   : series == QLatin1Char('P') ? QStringLiteral("Pentry")
                                                                : QStringLiteral("Unsupported");
        const qint32 type = kind.toUpper() == QLatin1Char('M') ? 0 : 1;
        if (!devices.appendFoundDevice(serial++, type, numbers.at(0).toInt()) ||
            !SetFieldValue(devices, DeviceTable::SeriesTypeStr, seriesText) ||
            !SetFieldValue(devices, DeviceTable::DeviceKeyNo, numbers.at(1).toInt()) ||
            !SetFieldValue(devices, DeviceTable::DeviceActive, kind.isUpper()) ||
            (video && !SetFieldValue(devices, DeviceTable::IsVideoMain, true)))
            return false;
    }
    return true;
}

inline std::optional<qint32> serialOf(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    return text.toInt();
}

// Phone rows "ID:SN1/SN2", either serial may be left out: "1:1234/5678 2:/77 3:9".
inline bool addPhones(PhoneTable &phones, const QString &rows)
{
    for (const QString &token : rows.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList idAndSerials = token.split(QLatin1Char(':'));
        const QStringList serials = idAndSerials.value(1).split(QLatin1Char('/'));
        if (!phones.appendRow(idAndSerials.at(0).toInt(), serialOf(serials.value(0)),
                              serialOf(serials.value(1))))
            return false;
    }
    return true;
}

// The phone table as "ID:SN1/SN2" per row, empty fields left out.
inline QStringList phoneRows(const PhoneTable &phones)
{
    QStringList out;
    auto text = [](const QVariant &v) { return v.isNull() ? QString() : v.toString(); };
    for (int p = 0; p < phones.recordCount(); ++p) {
        out.append(text(phones.valueAt(p, PhoneTable::ID)) + QLatin1Char(':') +
                   text(phones.valueAt(p, PhoneTable::SerialNoRead1)) + QLatin1Char('/') +
                   text(phones.valueAt(p, PhoneTable::SerialNoRead2)));
    }
    return out;
}
