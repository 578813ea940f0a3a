// Paths as the file system has them: bytes, which need not be UTF-8. A QString keeps a byte that
// is not part of valid UTF-8 as the lone code unit U+DC00 + byte, which no real name holds, so
// every path from argv or a drop comes back to the same bytes when a file is opened.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <string>

namespace vedra {

QString PathFromNative(const QByteArray& bytes);
inline QString PathFromNative(const std::string& bytes)
{
    return PathFromNative(QByteArray::fromStdString(bytes));
}

// The bytes PathFromNative was given; plain UTF-8 for every other string.
std::string NativePath(const QString& path);

// The local file a dropped URL names, its percent-encoded bytes kept as they are.
QString LocalPathOfUrl(const QUrl& url);

} // namespace vedra
