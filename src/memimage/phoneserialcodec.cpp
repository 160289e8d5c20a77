#include "phoneserialcodec.h"

#include "devicetable.h"
#include "hexutil.h"
#include "operationlog.h"
#include "phonetable.h"
#include "seriestype.h"
#include "slotlayouts.h"

#include <QHash>

namespace
{

const QString UnsupportedDeviceLine = QStringLiteral("> Unsupported device");

bool fitsEntry(qint32 serial)
{
    return serial > 0 && serial <= PhoneTable::MaxPhoneSerial;
}

QString presentEntry(qint32 serial)
{
    return QLatin1Char('0') + QStringLiteral("%1").arg(serial, 5, 16, QLatin1Char('0')).toUpper();
}

struct DeviceRow {
    qint32 serialNo = 0;
    std::optional<qint32> deviceType;
    QString series;
    qint32 order = 0;
    qint32 keyNo = 0;
    bool video = false;
};

std::optional<qint32> intAt(const DeviceTable &devices, int position, int field)
{
    const QVariant v = devices.valueAt(position, field);
    if (!v.isValid() || v.isNull())
        return std::nullopt;
    return v.toInt();
}

// The active rows in view order, read without moving the current row: the
// read and write sequences keep their own place in the table.
QList<DeviceRow> activeDevices(const DeviceTable &devices)
{
    QList<DeviceRow> out;
    for (int p = 0; p < devices.recordCount(); ++p) {
        const QVariant active = devices.valueAt(p, DeviceTable::DeviceActive);
        if (active.isNull() || !active.toBool())
            continue;
        DeviceRow row;
        row.serialNo = intAt(devices, p, DeviceTable::SerialNo).value_or(0);
        row.deviceType = intAt(devices, p, DeviceTable::DeviceType);
        row.series = devices.valueAt(p, DeviceTable::SeriesTypeStr).toString();
        row.order = intAt(devices, p, DeviceTable::DeviceOrder).value_or(0);
        row.keyNo = intAt(devices, p, DeviceTable::DeviceKeyNo).value_or(0);
        const QVariant video = devices.valueAt(p, DeviceTable::IsVideoMain);
        row.video = !video.isNull() && video.toBool();
        out.append(row);
    }
    return out;
}

const SlotLayout *layoutOf(const DeviceRow &row)
{
    return LayoutFor(row.deviceType, GetSeriesType(row.series), row.video);
}

QString emptySlots(int count)
{
    return QString::fromLatin1(EmptySlot).repeated(count);
}

// A table encoded slot by slot; `c` is the installation number before the
// door station's first button.
QString encodeTable(const SlotLayout &layout, qint32 keyNo, qint32 c, const PhoneTable &phones,
                    const QHash<qint32, int> &firstRowOfId)
{
    QString table;
    table.reserve(layout.slotCount * SlotChars);
    for (int slot = 0; slot < layout.slotCount; ++slot) {
        const int button = layout.buttonIn(slot, keyNo);
        qint32 s1 = 0;
        qint32 s2 = 0;
        if (button > 0) {
            const auto row = firstRowOfId.constFind(c + button);
            if (row != firstRowOfId.constEnd()) {
                s1 = phones.valueAt(*row, PhoneTable::SerialNoRead1).toInt();
                s2 = phones.valueAt(*row, PhoneTable::SerialNoRead2).toInt();
            }
        }
        table += EncodeSlot(s1, s2);
    }
    return table;
}

// Appends the rows of one door station's buttons, decoded from `image`.
void decodeTable(const SlotLayout &layout, qint32 keyNo, qint32 c, const QString &image,
                 int tableOffset, PhoneTable &phones, OperationLog &log)
{
    for (int button = 1; button <= keyNo; ++button) {
        const int slot = layout.slotOf(button, keyNo);
        if (slot < 0)
            continue;
        const int offset = tableOffset + slot * SlotChars;
        SlotSerials serials;
        if (!DecodeSlot(image, offset, serials)) {
            log.append(QStringLiteral("> Invalid phone serial in memory of button %1: %2")
                           .arg(c + button)
                           .arg(image.mid(offset, SlotChars)));
        }
        phones.appendRow(c + button, serials.serial1, serials.serial2);
    }
}

} // namespace

QString EncodeSlot(qint32 serial1, qint32 serial2)
{
    // A second phone is stored only together with a first one.
    if (!fitsEntry(serial1))
        return QString::fromLatin1(EmptySlot);
    return presentEntry(serial1) +
           (fitsEntry(serial2) ? presentEntry(serial2) : QStringLiteral("FFFFFF"));
}

bool DecodeSlot(const QString &image, int offset, SlotSerials &out)
{
    out = SlotSerials();
    auto entry = [&](int at, std::optional<qint32> &serial) {
        if (at < 0 || at >= image.size() || image.at(at) != QLatin1Char('0'))
            return true; // not present
        // A field cut short by the end of the image would give another
        // number; it is as invalid as a non-hexadecimal one.
        const QString field = image.mid(at + 1, 5);
        bool ok = field.size() == 5;
        const qint32 value = ok ? HexToInt(field, &ok) : 0;
        if (ok)
            serial = value;
        return ok;
    };
    if (offset < 0 || offset >= image.size() || image.at(offset) != QLatin1Char('0'))
        return true;
    if (!entry(offset, out.serial1) || !entry(offset + 6, out.serial2)) {
        out = SlotSerials();
        return false;
    }
    return true;
}

void EncodePhoneSerials(const DeviceTable &devices, PhoneTable &phones, QString &mainImage,
                        QString &extImage, OperationLog &log)
{
    mainImage.clear();
    extImage.clear();

    // Detached: rows are looked up, nothing needs redrawing meanwhile.
    phones.disableControls();
    QHash<qint32, int> firstRowOfId; // two rows with one ID: the first one counts
    for (int p = 0; p < phones.recordCount(); ++p) {
        const QVariant id = phones.valueAt(p, PhoneTable::ID);
        if (!id.isNull() && !firstRowOfId.contains(id.toInt()))
            firstRowOfId.insert(id.toInt(), p);
    }

    qint32 c = 0;
    for (const DeviceRow &device : activeDevices(devices)) {
        const SlotLayout *layout = layoutOf(device);
        if (device.deviceType == 0) {
            if (!layout) {
                log.append(UnsupportedDeviceLine);
                mainImage.clear();
                extImage.clear();
                break;
            }
            // A count without a column contributes no slots; Send serials
            // is refused for it before anything is written.
            if (layout->hasColumn(device.keyNo))
                mainImage = encodeTable(*layout, device.keyNo, 0, phones, firstRowOfId);
            c = device.keyNo;
        } else if (device.deviceType == 1) {
            if (device.order < 1)
                continue; // no place in the image; refused by DevicesWithoutLayout
            if (!layout)
                log.append(UnsupportedDeviceLine);
            // Each table at its order, so that an EXT without a layout keeps
            // its place and the ones after it stay where they belong.
            const int at = ExtSlotOffset(device.order, 0);
            if (extImage.size() < at + ExtTableChars)
                extImage += emptySlots((at + ExtTableChars - int(extImage.size())) / SlotChars);
            if (layout && layout->hasColumn(device.keyNo))
                extImage.replace(at, ExtTableChars,
                                 encodeTable(*layout, device.keyNo, c, phones, firstRowOfId));
            c += device.keyNo;
        }
    }
    phones.enableControls();
}

void DecodePhoneSerials(const DeviceTable &devices, PhoneTable &phones, const QString &mainImage,
                        const QString &extImage, OperationLog &log)
{
    phones.disableControls();
    phones.clear();
    qint32 c = 0;
    for (const DeviceRow &device : activeDevices(devices)) {
        const SlotLayout *layout = layoutOf(device);
        if (device.deviceType == 0) {
            if (!layout) {
                log.append(UnsupportedDeviceLine);
                continue;
            }
            decodeTable(*layout, device.keyNo, 0, mainImage, MainSlotOffset(0), phones, log);
            c = device.keyNo;
        } else if (device.deviceType == 1) {
            if (!layout) {
                log.append(UnsupportedDeviceLine);
                continue;
            }
            if (device.order >= 1)
                decodeTable(*layout, device.keyNo, c, extImage, ExtSlotOffset(device.order, 0),
                            phones, log);
            c += device.keyNo;
        }
    }
    phones.enableControls();
}

QList<DeviceWithoutLayout> DevicesWithoutLayout(const DeviceTable &devices)
{
    QList<DeviceWithoutLayout> out;
    for (const DeviceRow &device : activeDevices(devices)) {
        const SlotLayout *layout = layoutOf(device);
        const bool placed = device.deviceType != 1 || device.order >= 1;
        if (layout && layout->hasColumn(device.keyNo) && placed)
            continue;
        out.append(
            {device.serialNo, DeviceTypeText(device.deviceType), device.series, device.keyNo});
    }
    return out;
}

QString MissingLayoutMessage(const DeviceTable &devices)
{
    const QList<DeviceWithoutLayout> missing = DevicesWithoutLayout(devices);
    if (missing.isEmpty())
        return QString();
    const DeviceWithoutLayout &d = missing.first();
    const QString type = d.typeText.isEmpty() ? QStringLiteral("?") : d.typeText;
    const QString series = d.series.isEmpty() ? QStringLiteral("?") : d.series;
    return QStringLiteral("Device ") + QString::number(d.serialNo) + QStringLiteral(" (") + type +
           QStringLiteral(", ") + series + QStringLiteral(", ") + QString::number(d.keyNo) +
           QStringLiteral(" buttons) has no known memory layout!\r\nSerials can not be sent.");
}
