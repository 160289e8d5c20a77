// GetField: field number from the first byte (also out of range), a
// delimiter of up to three bytes, the rest is the text. Checked against a
// plain split of the text at the delimiter.
#include "fieldutil.h"
#include "fuzzsupport.h"

#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in{data, size};
    const int n = int(in.byte()) + int(in.byte()) - 2; // -2 to 508
    const QString delimiter = QString::fromUtf8(in.bytes(in.byte() % 4));
    const QString text = QString::fromUtf8(in.rest());

    const QString field = GetField(text, delimiter, n);
    if (n < 1 || n > 255 || text.isEmpty()) {
        fuzz::check(field.isEmpty(), "out of range gives an empty field");
        return 0;
    }
    if (delimiter.isEmpty()) {
        fuzz::check(field == (n == 1 ? text : QString()), "no delimiter: one field");
        return 0;
    }
    const QStringList parts = text.split(delimiter);
    fuzz::check(field == (n <= parts.size() ? parts.at(n - 1) : QString()),
                "field matches the split");
    return 0;
}
