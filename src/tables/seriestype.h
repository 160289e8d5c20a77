#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Series texts as the device table holds them; the series is kept only as
// text and every branch on it goes through GetSeriesType.
inline constexpr char SeriesUnsupported[] = "Unsupported";
inline constexpr char SeriesKorvel[] = "Korvel";
inline constexpr char SeriesPentry[] = "Pentry";

// Largest installation any memory layout can hold: a 20-button MAIN and five
// 26-button EXT door stations.
inline constexpr int MaxInstallationButtons = 20 + 5 * 26;

// Most rows "Set test data" creates: far above any table the search and the
// button-count choices can produce, far below a runaway from a mistyped count.
inline constexpr int MaxTestDataButtons = 1000;

// "Korvel" gives 1, "Pentry" 2, any other text (case-sensitive) 0.
int GetSeriesType(const QString &seriesText);

// Button counts offered for `DeviceKeyNo`, in offering order; the last entry
// is the highest count the row can have. Empty when nothing can be offered.
QList<int> ButtonCountChoices(int seriesCode, std::optional<qint32> deviceType);

// Text of `DeviceType_calc`: "MAIN" for 0, "EXT" for 1, empty otherwise.
QString DeviceTypeText(std::optional<qint32> deviceType);

// Pick lists of the "Series:" and "Order:" columns.
QStringList SeriesChoices();
QList<int> DeviceOrderChoices();
