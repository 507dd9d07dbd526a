// Draws the control panel's background picture: flat colour zones behind the
// panel's controls and a grey ramp behind the opacity slider, so the slider
// reads as "light = see-through, dark = solid". No text: captions come from
// the controls themselves.
//
//   make_panel_picture [OUT.png]        (default: panel.png)
//
// The output is committed as resources/panel.png; run this again only when a
// zone changes.

#include <QCoreApplication>
#include <QImage>
#include <QTextStream>

namespace {

constexpr int kWidth = 441;   // two columns wider than the client area: the rest is cut off
constexpr int kHeight = 49;   // one row taller, likewise

// Zone edges, both ends included.
constexpr int kRampFirst = 248;
constexpr int kRampLast = 406;
constexpr int kUpperLast = 22;     // last row of the slider band
constexpr int kDividerRow = 23;    // dark line between the slider and the buttons
constexpr int kRampLight = 0xF8;
constexpr int kRampDark = 0x07;

void fill(QImage &img, int x0, int x1, int y0, int y1, QRgb c)
{
    for (int y = y0; y <= y1; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = x0; x <= x1; ++x)
            line[x] = c;
    }
}

QImage drawPanel()
{
    QImage img(kWidth, kHeight, QImage::Format_RGB32);
    img.fill(qRgb(0xF8, 0x80, 0x00));                      // right strip (behind VScroll1)
    fill(img, 0, 246, 0, 48, qRgb(0xFF, 0xF1, 0x58));      // left field: list, name box, load button
    fill(img, 247, 247, 0, 48, qRgb(0x9A, 0x89, 0x20));

    // Opacity scale: a linear ramp, each column one shade darker than the last.
    const int span = kRampLast - kRampFirst;
    for (int x = kRampFirst; x <= kRampLast; ++x) {
        const int v = kRampLight - ((kRampLight - kRampDark) * (x - kRampFirst) + span / 2) / span;
        fill(img, x, x, 0, kUpperLast, qRgb(v, v, v));
    }
    fill(img, 407, 407, 0, kUpperLast, qRgb(0x7E, 0x5C, 0x18));
    fill(img, 408, 408, 0, kUpperLast, qRgb(0x97, 0x62, 0x01));

    fill(img, kRampFirst, 407, kDividerRow, kDividerRow, qRgb(0x10, 0x10, 0x10));
    fill(img, 408, 408, kDividerRow, kDividerRow, qRgb(0x97, 0x62, 0x01));  // joins the column above and below

    fill(img, 248, 248, 24, 48, qRgb(0xB2, 0x70, 0x01));
    fill(img, 249, 342, 24, 48, qRgb(0xDD, 0x82, 0x00));   // layout button field
    fill(img, 343, 343, 24, 48, qRgb(0x97, 0x62, 0x01));
    fill(img, 344, 344, 24, 48, qRgb(0xAB, 0x8C, 0x01));
    fill(img, 345, 406, 24, 48, qRgb(0xDD, 0xB6, 0x00));   // help button field
    fill(img, 407, 407, 24, 48, qRgb(0xB2, 0x92, 0x01));
    fill(img, 408, 408, 24, 48, qRgb(0x97, 0x62, 0x01));
    return img;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTextStream err(stderr);
    if (args.size() > 1 || (!args.isEmpty() && args.first().startsWith(QLatin1Char('-')))) {
        err << "usage: make_panel_picture [OUT.png]\n";
        return 2;
    }
    const QString out = args.isEmpty() ? QStringLiteral("panel.png") : args.first();
    if (!drawPanel().save(out, "PNG")) {
        err << "make_panel_picture: cannot write " << out << "\n";
        return 1;
    }
    return 0;
}
