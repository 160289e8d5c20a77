// The version file as the server sends it: "version;unused;size[;sha256]",
// decoded as UTF-8 like the update client does.
#include "fuzzsupport.h"
#include "versionfile.h"

#include <QStringDecoder>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    const VersionFileInfo info = ParseVersionFile(text);

    fuzz::check(info.version == GetField(text, QStringLiteral(";"), 1), "version is field 1");
    fuzz::check(info.expectedSize == GetField(text, QStringLiteral(";"), 3), "size is field 3");
    fuzz::check(info.sha256.isEmpty() || info.sha256.size() == 64, "checksum length");
    for (QChar c : info.sha256)
        fuzz::check((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'), "checksum digits");

    qint64 number = 0;
    QString error;
    if (VersionNumber(info.version, &number, &error)) {
        fuzz::check(error.isEmpty(), "no error on success");
    } else {
        fuzz::check(!error.isEmpty(), "a failure says why");
    }
    return 0;
}
