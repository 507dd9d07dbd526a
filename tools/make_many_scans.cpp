// make_many_scans: writes a hostile page, a progressive JPEG whose last scan is repeated
// until the file holds thousands of scans. Each repeat is a few bytes, yet a decoder
// walks the whole picture for each; the program must refuse such a file quickly.
//
//   make_many_scans OUT.jpg [--scans N] [--width PX --height PX]

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString out;
    int scans = 5000;
    QSize size(4961, 7016);  // an A4 page at 600 dpi
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--scans") && hasValue)
            scans = args[++i].toInt();
        else if (arg == QLatin1String("--width") && hasValue)
            size.setWidth(args[++i].toInt());
        else if (arg == QLatin1String("--height") && hasValue)
            size.setHeight(args[++i].toInt());
        else if (!arg.startsWith(QLatin1String("--")) && out.isEmpty())
            out = arg;
        else
            out.clear(), i = args.size();
    }
    if (out.isEmpty() || scans < 1 || size.isEmpty()) {
        std::fprintf(stderr, "usage: make_many_scans OUT.jpg [--scans N] [--width PX --height PX]\n");
        return 2;
    }

    // A blank page: its refinement scans are a few bytes each.
    QImage page(size, QImage::Format_RGB32);
    page.fill(Qt::white);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    if (!writer.write(page)) {
        std::fprintf(stderr, "make_many_scans: %s\n", qPrintable(writer.errorString()));
        return 1;
    }
    // The last scan runs from its start-of-scan marker to the end-of-image marker.
    const qsizetype end = bytes.lastIndexOf("\xFF\xD9");
    const qsizetype last = bytes.lastIndexOf("\xFF\xDA");
    if (end < 0 || last < 0 || last > end) {
        std::fprintf(stderr, "make_many_scans: unexpected encoder output\n");
        return 1;
    }
    const QByteArray scan = bytes.mid(last, end - last);
    QByteArray hostile = bytes.left(end);
    hostile.reserve(end + scan.size() * scans + 2);
    for (int i = 1; i < scans; ++i)
        hostile += scan;
    hostile += "\xFF\xD9";
    QFile file(out);
    if (!file.open(QIODevice::WriteOnly) || file.write(hostile) != hostile.size()) {
        std::fprintf(stderr, "make_many_scans: cannot write %s\n", qPrintable(out));
        return 1;
    }
    return 0;
}
