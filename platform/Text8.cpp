#include "platform/Text8.h"

#include <QStringDecoder>

namespace platform {
namespace {

bool decodeUtf8(std::string_view text, QString& decoded) {
    const QByteArrayView bytes(text.data(), static_cast<qsizetype>(text.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    decoded = utf8.decode(bytes);
    return !utf8.hasError();
}

}  // namespace

QString FromText8(std::string_view text) {
    QString decoded;
    if (decodeUtf8(text, decoded)) return decoded;
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToText8(const QString& shown, std::string_view original) {
    QString decoded;
    const bool utf8 = decodeUtf8(original, decoded);
    if (!utf8) decoded = QString::fromLatin1(original.data(), static_cast<qsizetype>(original.size()));
    if (decoded == shown) return std::string(original);
    bool latin1 = !utf8;
    for (const QChar c : shown) latin1 = latin1 && c.unicode() <= 0xff;
    const QByteArray bytes = latin1 ? shown.toLatin1() : shown.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace platform
