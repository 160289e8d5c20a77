#pragma once

#include <QList>
#include <QString>

#include <optional>

class DeviceTable;
class OperationLog;
class PhoneTable;

// Phone-serial images: the door stations' serial tables as hexadecimal text,
// two characters per byte, in ascending address order.

inline constexpr int SlotChars = 12;
inline constexpr int MainTableSlots = 20;
inline constexpr int ExtTableSlots = 26;
inline constexpr int MainImageChars = MainTableSlots * SlotChars;
inline constexpr int ExtTableChars = ExtTableSlots * SlotChars;

// A button without phones.
inline constexpr char EmptySlot[] = "10FFFFFFFFFF";

// One slot from the first and second serial (0 when absent). A serial that
// five hexadecimal digits cannot hold counts as absent, so that a slot is
// always 12 characters long.
QString EncodeSlot(qint32 serial1, qint32 serial2);

struct SlotSerials {
    std::optional<qint32> serial1;
    std::optional<qint32> serial2;
};

// The slot that starts at `offset` (from 0) of `image`. Characters beyond the
// end of the image count as absent. False when an entry flagged present is
// not followed by five hexadecimal digits; `out` is then empty.
bool DecodeSlot(const QString &image, int offset, SlotSerials &out);

// Where a table lies in its image, from 0.
inline constexpr int MainSlotOffset(int slot)
{
    return slot * SlotChars;
}
inline constexpr int ExtSlotOffset(int deviceOrder, int slot)
{
    return (deviceOrder - 1) * ExtTableChars + slot * SlotChars;
}

// Walks the active rows of `devices` in `DeviceOrder` and writes the phone
// table into a new MAIN image and EXT image. Each EXT table lies at its
// `DeviceOrder`. A door station without a layout never moves the tables of
// the ones after it: an EXT without one keeps its place filled with empty
// slots. An unsupported MAIN stops the encoding with "> Unsupported device"
// and leaves both images empty. The phone table's views are held while the
// rows are looked up.
void EncodePhoneSerials(const DeviceTable &devices, PhoneTable &phones, QString &mainImage,
                        QString &extImage, OperationLog &log);

// Rebuilds the phone table from the images: one row per button of every
// supported active door station, in installation button order. A door
// station without a layout gets "> Unsupported device". A present entry that
// is not valid hexadecimal is logged and leaves both serials of its button
// empty; decoding goes on.
void DecodePhoneSerials(const DeviceTable &devices, PhoneTable &phones, const QString &mainImage,
                        const QString &extImage, OperationLog &log);

// An active door station that Send serials cannot write: an unsupported
// MAIN, an EXT that is not Korvel, a button count without a column, a device
// type that is neither MAIN nor EXT, or an EXT order with no place.
struct DeviceWithoutLayout {
    qint32 serialNo = 0;
    QString typeText;
    QString series;
    qint32 keyNo = 0;
};
QList<DeviceWithoutLayout> DevicesWithoutLayout(const DeviceTable &devices);

// Text of the error box that refuses Send serials; empty when every active
// door station has a layout.
QString MissingLayoutMessage(const DeviceTable &devices);
