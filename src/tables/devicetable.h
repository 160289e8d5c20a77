#pragma once

#include "memtable.h"

#include <QList>

// `tblDeviceSerials`: one row per door station, kept in `DeviceOrder` order.
// The filter of the view is "DeviceActive = True".
class DeviceTable : public MemTable
{
    Q_OBJECT
public:
    enum Field {
        ID,
        SerialNo,
        DeviceType,
        SeriesTypeStr,
        DeviceActive,
        DeviceOrder,
        DeviceKeyNo,
        IsVideoMain,
        DeviceType_calc,
    };

    explicit DeviceTable(QObject *parent = nullptr);

    // Appends the row of a door station found by Find devices: series
    // "Unsupported", active, no buttons, `IsVideoMain` empty. The
    // assignment of `DeviceKeyNo` signals like any other.
    bool appendFoundDevice(qint32 serialNo, qint32 deviceType, qint32 deviceOrder);

    // The columns shown as check boxes and toggled by a click.
    static bool isCheckBoxField(int field);

    // Of the current row.
    int seriesCode() const;
    QList<int> keyNoChoices() const;
    bool isMain() const;

protected:
    bool lessThan(const QVector<QVariant> &a, const QVector<QVariant> &b) const override;
    bool filterAccepts(const QVector<QVariant> &values) const override;
    QVariant calculatedValue(int field, const QVector<QVariant> &values) const override;
    bool beforeInsert(InsertOrigin origin) override;
};
