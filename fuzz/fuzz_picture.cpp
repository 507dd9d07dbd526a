// Any bytes in a page file load as Qt's own JPEG reader makes them (unless it refuses
// them), or are refused with a reason.

#include "fuzz_support.h"
#include "platform/forms/forms.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <QLoggingCategory>

#include <cstdint>

namespace {

QString pagePath;

// Qt's reader on the bytes, as the program falls back to it: EXIF orientation applied.
QImage secondDecode(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(true);
    reader.setAllocationLimit(1024);
    return reader.read();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Qt's JPEG reader is a plugin, found through the application object; its warnings
    // would drown the fuzzer's output.
    static QCoreApplication app(*argc, *argv);
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio.jpeg=false"));
    pagePath = fuzzsupport::scratchFile(QStringLiteral("page.jpg"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    fuzzsupport::putFile(pagePath, bytes);

    forms::Error error;
    const QImage picture = forms::LoadPicture(pagePath, &error);
    if (picture.isNull()) {
        fuzzsupport::check(error.number != 0 && error.description.contains(pagePath),
                           "a refused page names its reason and path");
        return 0;
    }
    // Ours stops at the last row; Qt's also checks what follows, and may refuse the page.
    const QImage second = secondDecode(bytes);
    if (second.isNull())
        return 0;
    fuzzsupport::check(second.size() == picture.size(), "both decoders give the same size");
    fuzzsupport::check(second.convertToFormat(picture.format()) == picture,
                       "both decoders give the same pixels");
    return 0;
}
