#include "devicetable.h"

#include "seriestype.h"

namespace
{

std::optional<qint32> intOf(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return std::nullopt;
    return v.toInt();
}

} // namespace

DeviceTable::DeviceTable(QObject *parent)
    : MemTable(
          {
              {QStringLiteral("ID"), FieldType::Integer, 0, true},
              {QStringLiteral("SerialNo"), FieldType::Integer},
              {QStringLiteral("DeviceType"), FieldType::Integer},
              {QStringLiteral("SeriesTypeStr"), FieldType::Text, 12},
              {QStringLiteral("DeviceActive"), FieldType::Boolean},
              {QStringLiteral("DeviceOrder"), FieldType::Integer},
              {QStringLiteral("DeviceKeyNo"), FieldType::Integer},
              {QStringLiteral("IsVideoMain"), FieldType::Boolean},
              {QStringLiteral("DeviceType_calc"), FieldType::Calculated, 10},
          },
          parent)
{
    setObjectName(QStringLiteral("tblDeviceSerials"));
}

bool DeviceTable::appendFoundDevice(qint32 serialNo, qint32 deviceType, qint32 deviceOrder)
{
    if (!append())
        return false;
    setValue(SerialNo, serialNo);
    setValue(DeviceType, deviceType);
    setValue(SeriesTypeStr, QLatin1String(SeriesUnsupported));
    setValue(DeviceActive, true);
    setValue(DeviceOrder, deviceOrder);
    setValue(DeviceKeyNo, 0);
    return post();
}

bool DeviceTable::isCheckBoxField(int field)
{
    return field == DeviceActive || field == IsVideoMain;
}

int DeviceTable::seriesCode() const
{
    return GetSeriesType(textValue(SeriesTypeStr));
}

QList<int> DeviceTable::keyNoChoices() const
{
    if (!hasCurrent())
        return {};
    return ButtonCountChoices(seriesCode(), intValue(DeviceType));
}

bool DeviceTable::isMain() const
{
    return hasCurrent() && intValue(DeviceType) == 0;
}

bool DeviceTable::lessThan(const QVector<QVariant> &a, const QVector<QVariant> &b) const
{
    // An empty order sorts first, as in the dataset's index.
    return intOf(a.at(DeviceOrder)) < intOf(b.at(DeviceOrder));
}

bool DeviceTable::filterAccepts(const QVector<QVariant> &values) const
{
    const QVariant &active = values.at(DeviceActive);
    return active.isValid() && !active.isNull() && active.toBool();
}

QVariant DeviceTable::calculatedValue(int field, const QVector<QVariant> &values) const
{
    if (field != DeviceType_calc)
        return {};
    const QString text = DeviceTypeText(intOf(values.at(DeviceType)));
    return text.isEmpty() ? QVariant() : QVariant(text);
}

bool DeviceTable::beforeInsert(InsertOrigin origin)
{
    // tblDeviceSerialsBeforeInsert: rows come only from Find devices; an
    // insert started from the grid is dropped without a word.
    return origin == InsertOrigin::Code;
}
