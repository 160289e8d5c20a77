#pragma once

#include <QString>

// Field `n` (from 1 to 255) of `text` split at `delimiter`; the last field
// runs to the end of the text. Empty when the text has fewer fields, is
// empty, or `n` is out of range.
QString GetField(const QString &text, const QString &delimiter, int n);
