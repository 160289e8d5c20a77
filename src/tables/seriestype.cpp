#include "seriestype.h"

int GetSeriesType(const QString &seriesText)
{
    if (seriesText == QLatin1String(SeriesKorvel))
        return 1;
    if (seriesText == QLatin1String(SeriesPentry))
        return 2;
    return 0;
}

QList<int> ButtonCountChoices(int seriesCode, std::optional<qint32> deviceType)
{
    switch (seriesCode) {
    case 1:
        if (deviceType == 0)
            return {1, 2, 3, 4, 6, 10, 12, 16, 20};
        if (deviceType == 1)
            return {16, 20, 26};
        return {};
    case 2:
        return {1, 2, 3, 4};
    default:
        return {0};
    }
}

QString DeviceTypeText(std::optional<qint32> deviceType)
{
    if (deviceType == 0)
        return QStringLiteral("MAIN");
    if (deviceType == 1)
        return QStringLiteral("EXT");
    return QString();
}

QStringList SeriesChoices()
{
    return {QLatin1String(SeriesUnsupported), QLatin1String(SeriesKorvel),
            QLatin1String(SeriesPentry)};
}

QList<int> DeviceOrderChoices()
{
    return {1, 2, 3, 4, 5};
}
