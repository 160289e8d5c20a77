#include "slotlayouts.h"

int SlotLayout::buttonIn(int slot, int keyNo) const
{
    const int column = buttonCounts.indexOf(keyNo);
    if (column < 0 || slot < 0 || slot >= rows.size())
        return 0;
    return rows.at(slot).at(column);
}

int SlotLayout::slotOf(int button, int keyNo) const
{
    const int column = buttonCounts.indexOf(keyNo);
    if (column < 0 || button <= 0)
        return -1;
    for (int slot = 0; slot < rows.size(); ++slot) {
        if (rows.at(slot).at(column) == button)
            return slot;
    }
    return -1;
}

// The tables are written as the door stations' memory is documented: one line
// per slot with its read address, one column per button count, "_" for free.

const SlotLayout &KorvelMainPlainLayout()
{
    constexpr int _ = 0;
    static const SlotLayout layout{
        "Korvel MAIN",
        20,
        /* slot  read */ {1, 2, 3, 4, 6, 10, 12, 16, 20},
        {
            /*  0  0x8408 */ {_, _, _, _, _, _, 6, 8, 10},
            /*  1  0x840E */ {_, _, _, _, _, _, 5, 7, 9},
            /*  2  0x8414 */ {_, _, _, _, _, _, 4, 6, 8},
            /*  3  0x841A */ {_, _, _, _, _, _, 3, 5, 7},
            /*  4  0x8420 */ {_, _, _, _, _, _, 2, 4, 6},
            /*  5  0x8426 */ {_, _, _, _, _, 1, _, _, 1},
            /*  6  0x842C */ {_, _, _, _, _, 2, _, _, 2},
            /*  7  0x8432 */ {_, _, _, _, 1, 3, _, 1, 3},
            /*  8  0x8438 */ {_, _, _, 1, 2, 4, _, 2, 4},
            /*  9  0x843E */ {_, _, _, 2, 3, 5, 1, 3, 5},
            /* 10  0x8444 */ {_, 2, 3, 4, 6, 10, 7, 11, 15},
            /* 11  0x844A */ {1, 1, 2, 3, 5, 9, _, 10, 14},
            /* 12  0x8450 */ {_, _, 1, _, 4, 8, _, 9, 13},
            /* 13  0x8456 */ {_, _, _, _, _, 7, _, _, 12},
            /* 14  0x845C */ {_, _, _, _, _, 6, _, _, 11},
            /* 15  0x8462 */ {_, _, _, _, _, _, 8, 12, 16},
            /* 16  0x8468 */ {_, _, _, _, _, _, 9, 13, 17},
            /* 17  0x846E */ {_, _, _, _, _, _, 10, 14, 18},
            /* 18  0x8474 */ {_, _, _, _, _, _, 11, 15, 19},
            /* 19  0x847A */ {_, _, _, _, _, _, 12, 16, 20},
        },
    };
    return layout;
}

const SlotLayout &KorvelMainVideoLayout()
{
    constexpr int _ = 0;
    static const SlotLayout layout{
        "Korvel MAIN video",
        20,
        /* slot  read */ {1, 2, 3, 4, 6, 10, 12, 16, 20},
        {
            /*  0  0x8408 */ {_, _, _, _, _, _, _, _, 10},
            /*  1  0x840E */ {_, _, _, _, _, _, _, _, 9},
            /*  2  0x8414 */ {_, _, _, _, _, 5, 6, 8, 8},
            /*  3  0x841A */ {_, _, _, _, _, 4, 5, 7, 7},
            /*  4  0x8420 */ {_, _, _, _, _, 3, 4, 6, 6},
            /*  5  0x8426 */ {_, _, _, _, 1, _, _, 1, 1},
            /*  6  0x842C */ {_, _, _, 1, 2, _, _, 2, 2},
            /*  7  0x8432 */ {_, _, _, 2, 3, _, 1, 3, 3},
            /*  8  0x8438 */ {_, _, _, _, _, 1, 2, 4, 4},
            /*  9  0x843E */ {_, _, _, _, _, 2, 3, 5, 5},
            /* 10  0x8444 */ {_, _, _, _, _, 7, 9, 13, 15},
            /* 11  0x844A */ {_, _, _, _, _, 6, 8, 12, 14},
            /* 12  0x8450 */ {_, 2, 3, 4, 6, _, 7, 11, 13},
            /* 13  0x8456 */ {1, 1, 2, 3, 5, _, _, 10, 12},
            /* 14  0x845C */ {_, _, 1, _, 4, _, _, 9, 11},
            /* 15  0x8462 */ {_, _, _, _, _, 8, 10, 14, 16},
            /* 16  0x8468 */ {_, _, _, _, _, 9, 11, 15, 17},
            /* 17  0x846E */ {_, _, _, _, _, 10, 12, 16, 18},
            /* 18  0x8474 */ {_, _, _, _, _, _, _, _, 19},
            /* 19  0x847A */ {_, _, _, _, _, _, _, _, 20},
        },
    };
    return layout;
}

const SlotLayout &PentryMainLayout()
{
    constexpr int _ = 0;
    // Slots 5 to 19 exist in the image but carry no button.
    static const SlotLayout layout{
        "Pentry MAIN",
        20,
        /* slot  read */ {1, 2, 3, 4},
        {
            /*  0  0x8408 */ {_, _, _, _},
            /*  1  0x840E */ {_, _, _, 1},
            /*  2  0x8414 */ {_, _, 1, 2},
            /*  3  0x841A */ {1, 1, 2, 3},
            /*  4  0x8420 */ {_, 2, 3, 4},
        },
    };
    return layout;
}

const SlotLayout &KorvelExtLayout()
{
    constexpr int _ = 0;
    static const SlotLayout layout{
        "Korvel EXT",
        26,
        /* slot  read */ {16, 20, 26},
        {
            /*  0  0x8400 */ {1, _, 1},
            /*  1  0x8406 */ {9, _, 14},
            /*  2  0x840C */ {2, _, 2},
            /*  3  0x8412 */ {10, _, 15},
            /*  4  0x8418 */ {3, _, 3},
            /*  5  0x841E */ {11, _, 16},
            /*  6  0x8424 */ {4, 1, 4},
            /*  7  0x842A */ {12, 11, 17},
            /*  8  0x8430 */ {5, 2, 5},
            /*  9  0x8436 */ {13, 12, 18},
            /* 10  0x843C */ {6, 3, 6},
            /* 11  0x8442 */ {14, 13, 19},
            /* 12  0x8448 */ {7, 4, 7},
            /* 13  0x844E */ {15, 14, 20},
            /* 14  0x8454 */ {8, 5, 8},
            /* 15  0x845A */ {16, 15, 21},
            /* 16  0x8460 */ {_, 6, 9},
            /* 17  0x8466 */ {_, 16, 22},
            /* 18  0x846C */ {_, 7, 10},
            /* 19  0x8472 */ {_, 17, 23},
            /* 20  0x8478 */ {_, 8, 11},
            /* 21  0x847E */ {_, 18, 24},
            /* 22  0x8484 */ {_, 9, 12},
            /* 23  0x848A */ {_, 19, 25},
            /* 24  0x8490 */ {_, 10, 13},
            /* 25  0x8496 */ {_, 20, 26},
        },
    };
    return layout;
}

QList<const SlotLayout *> AllSlotLayouts()
{
    return {&KorvelMainPlainLayout(), &KorvelMainVideoLayout(), &PentryMainLayout(),
            &KorvelExtLayout()};
}

const SlotLayout *LayoutFor(std::optional<qint32> deviceType, int seriesCode, bool isVideoMain)
{
    if (deviceType == 0) {
        if (seriesCode == 1)
            return isVideoMain ? &KorvelMainVideoLayout() : &KorvelMainPlainLayout();
        if (seriesCode == 2)
            return &PentryMainLayout();
        return nullptr;
    }
    if (deviceType == 1 && seriesCode == 1)
        return &KorvelExtLayout();
    return nullptr;
}
