#pragma once

#include "memtable.h"

#include <optional>

// `tblPhoneSerials`: one row per installation button, in the order added.
class PhoneTable : public MemTable
{
    Q_OBJECT
public:
    enum Field { ID, SerialNoRead1, SerialNoRead2 };

    // Highest serial five hex digits of door-station memory can hold.
    static constexpr qint32 MaxPhoneSerial = 1048575;

    explicit PhoneTable(QObject *parent = nullptr);

    static bool isValidPhoneSerial(qint64 serial)
    {
        return serial >= 0 && serial <= MaxPhoneSerial;
    }

    // Appends and posts one row; nothing is appended when a serial is refused.
    bool appendRow(std::optional<qint32> id, std::optional<qint32> serial1,
                   std::optional<qint32> serial2);

protected:
    bool acceptsValue(int field, const QVariant &value) const override;
};
