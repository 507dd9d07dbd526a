// Makes sample pages for trying and benchmarking Zorvane: JPEGs that look like
// scanned A4 pages of English and Thai text, with a big page number near the
// top so that a screenshot tells pages apart. The same options give the same
// files byte for byte (seeded), so runs can be compared.
//
//   make_pages [--out DIR] [--count N] [--width PX | --dpi 150|300|600]
//              [--quality Q] [--scan] [--prefix TEXT] [--digits N]
//              [--first N] [--seed S]
//
// Names are PREFIX + number (zero-padded to --digits) + ".jpg": 1.jpg, 2.jpg, ...

#include <QCommandLineParser>
#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

constexpr double kA4WidthMm = 210.0;
constexpr double kA4HeightMm = 297.0;
constexpr double kMmPerInch = 25.4;
constexpr int kMinWidth = 64;
// 600 dpi is the largest page a real scanner gives; above that the image alone passes 1 GiB.
constexpr int kMaxWidth = 8000;
constexpr int kMaxCount = 100000;

const char *const kEnglish[] = {
    "The quick brown fox jumps over the lazy dog near the river bank.",
    "Please type the following paragraph exactly as it is printed here.",
    "Chapter notes: keep the scanned page above the editor while typing.",
    "Every line of this page was drawn by a program, not a scanner.",
    "Numbers 0123456789 and signs ( ) [ ] , . ; : ! ? should be copied too.",
    "A short sentence.",
    "Reading aids help typists keep their place on long documents.",
    "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod.",
};

const char *const kThai[] = {
    "ภาษาไทยเป็นภาษาที่มีวรรณยุกต์ และใช้อักษรไทยในการเขียน",
    "กรุณาพิมพ์ข้อความต่อไปนี้ให้ตรงกับต้นฉบับทุกตัวอักษร",
    "เอกสารฉบับนี้จัดทำขึ้นเพื่อทดสอบการแสดงผลหน้ากระดาษ",
    "สวัสดีครับ ขอบคุณที่ใช้โปรแกรมช่วยอ่านเอกสาร",
    "ตัวเลขไทย ๐๑๒๓๔๕๖๗๘๙ และตัวเลขอารบิก 0123456789",
    "การพิมพ์สัมผัสช่วยให้ทำงานได้รวดเร็วและแม่นยำขึ้น",
};

struct Options
{
    QString outDir;
    int count = 3;
    int width = 0;
    int height = 0;
    int quality = 85;
    bool scan = false;
    QString prefix;
    int digits = 0;
    int first = 1;
    quint32 seed = 1;
};

// A cheap generator for per-pixel noise: QRandomGenerator per pixel would cost
// several times the page's drawing time on a 300-dpi page.
struct XorShift
{
    quint32 s;
    quint32 next()
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
};

void addScanNoise(QImage &img, quint32 seed)
{
    XorShift rng{seed | 1u};
    const int w = img.width();
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const quint32 r = rng.next();
            int d = int(r & 15u) - 8;            // fine grain, +-8 levels
            if ((r >> 8 & 1023u) == 0)
                d -= 90;                         // a rare dust speck
            const QRgb p = line[x];
            line[x] = qRgb(qBound(0, qRed(p) + d, 255), qBound(0, qGreen(p) + d, 255),
                           qBound(0, qBlue(p) + d, 255));
        }
    }
}

QImage drawPage(const Options &o, int number)
{
    QRandomGenerator rng(o.seed * 7919u + quint32(number));
    QImage img(o.width, o.height, QImage::Format_RGB32);
    // Paper is never pure white: a slightly warm, page-to-page varying tone.
    const int paper = 246 + int(rng.bounded(6));
    img.fill(qRgb(paper, paper - 1, paper - 6));

    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const double w = o.width;
    const double h = o.height;
    if (o.scan) {
        // A page laid slightly askew on the glass.
        const double degrees = (rng.generateDouble() - 0.5) * 1.6;
        p.translate(w / 2, h / 2);
        p.rotate(degrees);
        p.translate(-w / 2, -h / 2);
    }

    const double margin = w * 0.08;
    p.setPen(QPen(QColor(40, 40, 40), std::max(1.0, w / 400)));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(margin / 2, margin / 2, w - margin, h - margin));

    QFont big(QStringLiteral("DejaVu Sans"));
    big.setBold(true);
    big.setPixelSize(std::max(8, int(w / 7)));
    p.setFont(big);
    p.setPen(QColor(20, 20, 20));
    const QRectF numberBox(margin, margin, w - 2 * margin, w / 5);
    p.drawText(numberBox, Qt::AlignHCenter | Qt::AlignVCenter, QString::number(number));

    QFont body;
    body.setFamilies({QStringLiteral("DejaVu Serif"), QStringLiteral("Loma")});
    body.setPixelSize(std::max(6, int(w / 50)));
    p.setFont(body);
    const int lineHeight = QFontMetrics(body).lineSpacing() * 3 / 2;
    const QRectF textBox(margin, numberBox.bottom() + lineHeight, w - 2 * margin,
                         h - numberBox.bottom() - lineHeight - margin);
    constexpr int englishCount = int(std::size(kEnglish));
    constexpr int thaiCount = int(std::size(kThai));
    int row = 0;
    for (double y = textBox.top(); y + lineHeight <= textBox.bottom(); y += lineHeight, ++row) {
        if (row % 9 == 8)
            continue;                            // a paragraph gap
        const bool thai = rng.bounded(3) == 0;
        const char *text = thai ? kThai[rng.bounded(thaiCount)] : kEnglish[rng.bounded(englishCount)];
        p.drawText(QRectF(textBox.left(), y, textBox.width(), lineHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(text));
    }
    p.end();

    if (o.scan)
        addScanNoise(img, o.seed * 104729u + quint32(number));
    return img;
}

// The offscreen platform asks for a runtime folder that a headless build box
// often lacks; the warning says nothing about the pages.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: ")))
        return;
    QTextStream(stderr) << (type == QtDebugMsg || type == QtInfoMsg ? "" : "make_pages: ") << message << "\n";
}

int fail(const QString &message)
{
    QTextStream(stderr) << "make_pages: " << message << "\n";
    return 2;
}

bool readInt(const QCommandLineParser &parser, const QString &name, int lo, int hi, int &value)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int v = parser.value(name).toInt(&ok);
    if (!ok || v < lo || v > hi)
        return false;
    value = v;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    // Drawing needs no screen: run anywhere, also with no display at all.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietMessages);
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("make_pages"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes scan-like A4 JPEG pages of English and Thai text."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("out"), QStringLiteral("Folder to write to (made if missing)."),
         QStringLiteral("DIR"), QStringLiteral(".")},
        {QStringLiteral("count"), QStringLiteral("Number of pages (default 3)."), QStringLiteral("N")},
        {QStringLiteral("width"), QStringLiteral("Page width in pixels; height is width * 297 / 210."),
         QStringLiteral("PX")},
        {QStringLiteral("dpi"), QStringLiteral("A4 at 150, 300 or 600 dpi (default 150)."),
         QStringLiteral("DPI")},
        {QStringLiteral("quality"), QStringLiteral("JPEG quality 1-100 (default 85)."), QStringLiteral("Q")},
        {QStringLiteral("scan"), QStringLiteral("Add grain, specks and a slight tilt, like a real scan.")},
        {QStringLiteral("prefix"), QStringLiteral("Text before the number in each name."),
         QStringLiteral("TEXT")},
        {QStringLiteral("digits"), QStringLiteral("Pad the number with zeros to N digits."),
         QStringLiteral("N")},
        {QStringLiteral("first"), QStringLiteral("Number of the first page (default 1)."),
         QStringLiteral("N")},
        {QStringLiteral("seed"), QStringLiteral("Seed for the page contents (default 1)."),
         QStringLiteral("S")},
    });
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument %1 (see --help)")
                        .arg(parser.positionalArguments().first()));

    Options o;
    o.outDir = parser.value(QStringLiteral("out"));
    o.prefix = parser.value(QStringLiteral("prefix"));
    o.scan = parser.isSet(QStringLiteral("scan"));
    int seed = 1;
    if (!readInt(parser, QStringLiteral("count"), 1, kMaxCount, o.count))
        return fail(QStringLiteral("--count takes 1 to %1").arg(kMaxCount));
    if (!readInt(parser, QStringLiteral("quality"), 1, 100, o.quality))
        return fail(QStringLiteral("--quality takes 1 to 100"));
    if (!readInt(parser, QStringLiteral("digits"), 0, 9, o.digits))
        return fail(QStringLiteral("--digits takes 0 to 9"));
    if (!readInt(parser, QStringLiteral("first"), 0, 1000000, o.first))
        return fail(QStringLiteral("--first takes 0 to 1000000"));
    if (!readInt(parser, QStringLiteral("seed"), 0, 2147483647, seed))
        return fail(QStringLiteral("--seed takes 0 to 2147483647"));
    o.seed = quint32(seed);
    if (o.prefix.contains(QLatin1Char('/')))
        return fail(QStringLiteral("--prefix must not contain '/'"));

    if (parser.isSet(QStringLiteral("width")) && parser.isSet(QStringLiteral("dpi")))
        return fail(QStringLiteral("give --width or --dpi, not both"));
    if (parser.isSet(QStringLiteral("width"))) {
        if (!readInt(parser, QStringLiteral("width"), kMinWidth, kMaxWidth, o.width))
            return fail(QStringLiteral("--width takes %1 to %2").arg(kMinWidth).arg(kMaxWidth));
        o.height = int(std::lround(o.width * kA4HeightMm / kA4WidthMm));
    } else {
        int dpi = 150;
        if (!readInt(parser, QStringLiteral("dpi"), 1, 600, dpi) || (dpi != 150 && dpi != 300 && dpi != 600))
            return fail(QStringLiteral("--dpi takes 150, 300 or 600"));
        o.width = int(std::lround(kA4WidthMm / kMmPerInch * dpi));
        o.height = int(std::lround(kA4HeightMm / kMmPerInch * dpi));
    }

    QDir dir(o.outDir);
    if (!dir.mkpath(QStringLiteral(".")))
        return fail(QStringLiteral("cannot make folder %1").arg(QDir::toNativeSeparators(o.outDir)));

    for (int i = 0; i < o.count; ++i) {
        const int number = o.first + i;
        const QString name = o.prefix + QStringLiteral("%1").arg(number, o.digits, 10, QLatin1Char('0'))
                             + QStringLiteral(".jpg");
        const QString path = dir.filePath(name);
        QImageWriter writer(path, "jpeg");
        writer.setQuality(o.quality);
        if (!writer.write(drawPage(o, number))) {
            QTextStream(stderr) << "make_pages: cannot write " << QDir::toNativeSeparators(path) << ": "
                                << writer.errorString() << "\n";
            return 1;
        }
    }
    return 0;
}
