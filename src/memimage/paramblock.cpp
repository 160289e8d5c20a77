#include "paramblock.h"

#include "dialogs.h"
#include "hexutil.h"

namespace
{

QString hexDigits(int value, int width)
{
    return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
}

bool isBinary(const QString &text)
{
    for (QChar c : text) {
        if (c != QLatin1Char('0') && c != QLatin1Char('1'))
            return false;
    }
    return true;
}

} // namespace

QString HexToBin(const QString &hex, bool *ok)
{
    QString out;
    bool good = true;
    for (QChar c : hex) {
        bool digitOk = false;
        const qint32 value = HexToInt(QString(c), &digitOk);
        if (!digitOk) {
            good = false;
            out.clear();
            break;
        }
        out += QStringLiteral("%1").arg(value, 4, 2, QLatin1Char('0'));
    }
    if (ok)
        *ok = good;
    return out;
}

QString BinToHex(const QString &binary, Dialogs &dialogs)
{
    if (!isBinary(binary)) {
        dialogs.error(QStringLiteral("This is not binary number"));
        return QString();
    }
    const int padded = (int(binary.size()) + 3) / 4 * 4;
    const QString bits = binary.rightJustified(padded, QLatin1Char('0'));
    QString out;
    for (int i = 0; i < padded; i += 4) {
        int value = 0;
        for (int j = 0; j < 4; ++j)
            value = value * 2 + (bits.at(i + j) == QLatin1Char('1') ? 1 : 0);
        out += hexDigits(value, 1);
    }
    return out;
}

qint64 BinToInt(const QString &binary, bool *ok)
{
    bool good = !binary.isEmpty() && isBinary(binary);
    qint64 value = 0;
    for (int i = 0; good && i < binary.size(); ++i) {
        if (value > (qint64(1) << 61)) {
            good = false;
            break;
        }
        value = value * 2 + (binary.at(i) == QLatin1Char('1') ? 1 : 0);
    }
    if (ok)
        *ok = good;
    return good ? value : 0;
}

bool IsParamBlock(const QString &block)
{
    return block.size() == ParamBlockChars && IsHexText(block);
}

std::optional<ParamSettings> ReadParamSettings(const QString &block)
{
    if (!IsParamBlock(block))
        return std::nullopt;
    ParamSettings s;
    // Bits 5-0 of byte 0; bit 6 means nothing.
    s.asAddress = int(BinToInt(HexToBin(block.mid(0, 2)).mid(2, 6)));
    s.asFixed = HexToBin(block.mid(0, 1)).at(0) == QLatin1Char('1');
    s.rContactTime = HexToInt(block.mid(2, 1));
    s.indoorDeviceTime = HexToInt(block.mid(6, 1));
    // Value 4 of digit 10.
    s.useAsLight = HexToBin(block.mid(9, 1)).at(1) == QLatin1Char('1');
    return s;
}

QString WriteParamSettings(const ParamSettings &settings, const QString &readBlock,
                           Dialogs &dialogs)
{
    if (!IsParamBlock(readBlock) || settings.asAddress < 0 || settings.asAddress > 63 ||
        settings.rContactTime < 0 || settings.rContactTime > 7 || settings.indoorDeviceTime < 0 ||
        settings.indoorDeviceTime > 15)
        return QString();

    QString byte0 = HexToBin(hexDigits(settings.asAddress, 2));
    byte0[0] = settings.asFixed ? QLatin1Char('1') : QLatin1Char('0');
    const QString byte1 = hexDigits(settings.rContactTime, 1) + QLatin1Char('0');
    const QString byte2 = readBlock.mid(4, 2);
    const QString byte3 = hexDigits(settings.indoorDeviceTime, 1) + QLatin1Char('0');
    QString lightDigit = HexToBin(readBlock.mid(9, 1));
    lightDigit[1] = settings.useAsLight ? QLatin1Char('1') : QLatin1Char('0');
    const QString byte4 = readBlock.mid(8, 1) + BinToHex(lightDigit, dialogs);
    const QString block =
        BinToHex(byte0, dialogs) + byte1 + byte2 + byte3 + byte4 + readBlock.mid(10, 6);
    return block.toUpper();
}
