#include "phonetable.h"

namespace
{

QVariant toVariant(std::optional<qint32> v)
{
    return v ? QVariant(*v) : QVariant();
}

} // namespace

PhoneTable::PhoneTable(QObject *parent)
    : MemTable(
          {
              {QStringLiteral("ID"), FieldType::Integer},
              {QStringLiteral("SerialNoRead1"), FieldType::Integer},
              {QStringLiteral("SerialNoRead2"), FieldType::Integer},
          },
          parent)
{
    setObjectName(QStringLiteral("tblPhoneSerials"));
}

bool PhoneTable::appendRow(std::optional<qint32> id, std::optional<qint32> serial1,
                           std::optional<qint32> serial2)
{
    if ((serial1 && !isValidPhoneSerial(*serial1)) || (serial2 && !isValidPhoneSerial(*serial2)))
        return false;
    if (!append())
        return false;
    setValue(ID, toVariant(id));
    setValue(SerialNoRead1, toVariant(serial1));
    setValue(SerialNoRead2, toVariant(serial2));
    return post();
}

bool PhoneTable::acceptsValue(int field, const QVariant &value) const
{
    // A serial that the memory cannot hold is refused where it is typed,
    // rather than written truncated into another phone's number.
    if ((field == SerialNoRead1 || field == SerialNoRead2) && value.isValid())
        return isValidPhoneSerial(value.toInt());
    return true;
}
