// bench_decode: decode time of pages in this process, with the program's own loader
// (forms::LoadPicture) and with Qt's JPEG reader as the program used it before, and the
// part in view that a far jump decodes before it paints (jpeg::decodeTop) for the page
// window of a 1920x1080 screen in the half layout and of a 3840x2160 one in the full.
//
//   bench_decode [--runs N] FILE...
//
// Prints, per file, the picture's size and the median and fastest time of each.

#include "platform/forms/forms.h"
#include "platform/picture/jpeg_decoder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Timing {
    double median = 0;
    double fastest = 0;
};

template<typename Decode>
Timing timeRuns(int runs, Decode decode)
{
    std::vector<double> times;
    QImage kept;
    for (int i = 0; i < runs; ++i) {
        // The last picture is freed outside the timing, as the program frees pages off
        // its GUI thread.
        kept = QImage();
        QElapsedTimer timer;
        timer.start();
        kept = decode();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front()};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int runs = 7;
    if (args.size() >= 2 && args[0] == QLatin1String("--runs")) {
        runs = qMax(1, args[1].toInt());
        args = args.mid(2);
    }
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: bench_decode [--runs N] FILE...\n");
        return 2;
    }
    int status = 0;
    for (const QString &path : args) {
        forms::Error error;
        QImage picture = forms::LoadPicture(path, &error);
        if (picture.isNull()) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(error.description));
            status = 1;
            continue;
        }
        const QSize size = picture.size();
        picture = QImage();
        const Timing own = timeRuns(runs, [&] { return forms::LoadPicture(path, &error); });
        const Timing qt = timeRuns(runs, [&] {
            QImageReader reader(path, "jpeg");
            reader.setAutoTransform(true);
            reader.setAllocationLimit(1024);
            return reader.read();
        });
        std::printf("%-24s %5dx%-5d  LoadPicture median %6.1f ms (fastest %6.1f)  "
                    "Qt reader median %6.1f ms (fastest %6.1f)\n",
                    qPrintable(QFileInfo(path).fileName()), size.width(), size.height(),
                    own.median, own.fastest, qt.median, qt.fastest);
        QFile file(path);
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        for (const QSize view : {QSize(1920, 500), QSize(3840, 2120)}) {
            const Timing top = timeRuns(runs, [&] {
                QImage page;
                const auto rest = jpeg::decodeTop(bytes, qint64(1) << 30, nullptr, view, &page);
                if (rest)
                    rest->abandon();
                return page;
            });
            std::printf("%-24s part in view %dx%d: median %6.1f ms (fastest %6.1f)\n", "",
                        view.width(), view.height(), top.median, top.fastest);
        }
    }
    return status;
}
