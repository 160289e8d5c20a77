#pragma once

#include <QList>
#include <QVector>

#include <optional>

// Which local call button lies in which slot of a door station's phone-serial
// table. One table per variant; a column per supported button count.
struct SlotLayout {
    const char *name;
    // Slots of the door station's table, whether or not a column uses them.
    int slotCount;
    // The button counts that have a column, in column order.
    QVector<int> buttonCounts;
    // Per slot, from slot 0, the local button per column; 0 marks a free
    // slot. Slots beyond the listed rows are free in every column.
    QVector<QVector<int>> rows;

    bool hasColumn(int keyNo) const { return buttonCounts.contains(keyNo); }
    // Local button held by `slot` for `keyNo` buttons; 0 when the slot is
    // free or the count has no column.
    int buttonIn(int slot, int keyNo) const;
    // Slot holding local button `button` for `keyNo` buttons; -1 when none.
    int slotOf(int button, int keyNo) const;
};

const SlotLayout &KorvelMainPlainLayout();
const SlotLayout &KorvelMainVideoLayout();
const SlotLayout &PentryMainLayout();
const SlotLayout &KorvelExtLayout();
QList<const SlotLayout *> AllSlotLayouts();

// Layout of a door station: by `DeviceType` (0 MAIN, 1 EXT), series code and,
// for a Korvel MAIN, the video flag. nullptr for an unsupported MAIN, an EXT
// that is not Korvel and any other device type.
const SlotLayout *LayoutFor(std::optional<qint32> deviceType, int seriesCode, bool isVideoMain);
