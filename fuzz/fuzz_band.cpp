// A page shown by its top rows first, the rest decoding while the rows in view are painted:
// the pixels of a whole decode. Input: the view's width / 8 and height / 16, then the page.

#include "fuzz_support.h"
#include "platform/picture/jpeg_decoder.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstring>
#include <thread>

// As the program allows a page: 160 MB decoded.
constexpr qint64 MaxBytes = qint64(160) << 20;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const QSize view(1 + data[0] * 8, 1 + data[1] * 16);
    const QByteArray bytes(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));

    QImage picture;
    const std::shared_ptr<jpeg::PageRest> rest = jpeg::decodeTop(bytes, MaxBytes, nullptr, view, &picture);
    if (!rest)
        return 0;  // small, progressive, or broken in its top rows: decoded whole elsewhere
    bool whole = false;
    std::thread worker([&] { whole = rest->run(); });
    // What painting reads: the rows in view, in the columns decoded with them.
    const int rows = view.height();
    const qsizetype inView = qsizetype(rest->columnsInView()) * (picture.depth() / 8);
    rest->waitForRows(rows);
    QByteArray painted;
    for (int y = 0; y < rows; ++y)
        painted.append(reinterpret_cast<const char *>(picture.constScanLine(y)), inView);
    worker.join();
    if (!whole)
        return 0;  // broken below the top rows: the program decodes the file again

    const QImage direct = jpeg::decodeDirect(bytes, MaxBytes, nullptr);
    fuzzsupport::check(!direct.isNull(), "a page whose rest decodes also decodes whole");
    fuzzsupport::check(direct.size() == picture.size() && direct.format() == picture.format(),
                       "band and rest give the size and format of a whole decode");
    for (int y = 0; y < picture.height(); ++y) {
        fuzzsupport::check(std::memcmp(picture.constScanLine(y), direct.constScanLine(y),
                                       size_t(picture.bytesPerLine())) == 0,
                           "band and rest give the pixels of a whole decode");
        if (y < rows)
            fuzzsupport::check(std::memcmp(painted.constData() + y * inView, direct.constScanLine(y),
                                           size_t(inView)) == 0,
                               "the rows in view read whole while the rest runs");
    }
    return 0;
}
