#include "pic_conver.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

namespace vedra {

std::string FindEncoderForMimeType(const std::string& mimeType)
{
    const QByteArray wanted = QByteArray::fromStdString(mimeType);
    if (!QImageWriter::supportedMimeTypes().contains(wanted))
        return {};
    const QList<QByteArray> formats = QImageWriter::imageFormatsForMimeType(wanted);
    return formats.isEmpty() ? std::string() : formats.first().toStdString();
}

bool CPicConver::Convert(const std::vector<uint8_t>& bmpFile, std::vector<uint8_t>& output, const std::string& format)
{
    output.clear();
    QImage image;
    if (!image.loadFromData(bmpFile.data(), static_cast<int>(bmpFile.size()), "BMP"))
        return false;
    const std::string encoder = FindEncoderForMimeType("image/" + format);
    if (encoder.empty())
        return false;

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, QByteArray::fromStdString(encoder));
    if (!writer.write(image) || bytes.isEmpty())
        return false;
    output.assign(bytes.constData(), bytes.constData() + bytes.size());
    return true;
}

} // namespace vedra
