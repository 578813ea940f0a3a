#include "native_path.h"

namespace vedra {
namespace {

constexpr char16_t kEscapeBase = 0xDC00; // + a byte 0x80-0xFF

// Length of the valid UTF-8 sequence at bytes[i], or 0.
int Utf8Length(const QByteArray& bytes, qsizetype i)
{
    const auto at = [&](qsizetype k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = at(i);
    int length = 0;
    char32_t point = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, point = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, point = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, point = lead & 0x07;
    else
        return 0;
    if (i + length > bytes.size())
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((at(i + k) & 0xC0) != 0x80)
            return 0;
        point = (point << 6) | (at(i + k) & 0x3F);
    }
    // No overlong forms, no surrogates, nothing above U+10FFFF.
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < kSmallest[length] || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF)
        return 0;
    return length;
}

} // namespace

QString PathFromNative(const QByteArray& bytes)
{
    QString path;
    path.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const int length = Utf8Length(bytes, i);
        if (length == 0) {
            path += QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[i])));
            ++i;
        } else {
            path += QString::fromUtf8(bytes.constData() + i, length);
            i += length;
        }
    }
    return path;
}

std::string NativePath(const QString& path)
{
    std::string bytes;
    bytes.reserve(static_cast<size_t>(path.size()));
    qsizetype run = 0; // start of the stretch of ordinary text not yet converted
    const auto flush = [&](qsizetype end) { bytes += path.mid(run, end - run).toStdString(); };
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path[i].unicode();
        const bool lone =
            unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF && (i == 0 || !path[i - 1].isHighSurrogate());
        if (!lone)
            continue;
        flush(i);
        bytes += static_cast<char>(unit - kEscapeBase);
        run = i + 1;
    }
    flush(path.size());
    return bytes;
}

QString LocalPathOfUrl(const QUrl& url)
{
    if (!url.isLocalFile())
        return {};
    if (!url.host().isEmpty())
        return url.toLocalFile(); // a network path: Qt's own form
    return PathFromNative(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

} // namespace vedra
