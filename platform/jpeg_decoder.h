#pragma once
// JPEG pages decoded with libjpeg-turbo, large ones on two threads.

#include <QByteArray>
#include <QImage>
#include <QString>

namespace jpeg {

// A JPEG file whose end marker follows the start of its first scan.
bool isWholeJpeg(const QByteArray &bytes);

// The picture decoded straight into RGB32 (colour) or Grayscale8 (grey), as Qt's reader
// gives them, or a null image when the file is one for Qt's reader (turned by EXIF,
// CMYK, or anything the direct path does not take). A file that no reader may take, one
// larger than `maxBytes` as RGB32 or with more scans than its size allows (such files
// take minutes to decode), gives a null image and the reason in `refusal`.
// `spare`, when it has the page's size and format, lends its memory.
QImage decodeDirect(const QByteArray &bytes, qint64 maxBytes, QImage *spare,
                    QString *refusal = nullptr);

} // namespace jpeg
