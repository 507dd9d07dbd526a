// Draws the help sheet: how to prepare pages and use the program, with a picture of
// the real control panel. Usage: make_help_sheet OUT.png

#include "panel/form1.h"
#include "platform/forms/forms.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr QSize SheetSize(662, 508);
const QColor Ink(0x10, 0x10, 0x10);
const QColor Heading(0x10, 0x40, 0xC0);
const QColor CalloutText(0x10, 0x30, 0xB0);
const QColor Arrow(0xFF, 0xE0, 0x30);

// The panel as the typist first sees it: a few pages listed, nothing typed yet.
QImage panelPicture()
{
    QTemporaryDir folder;
    for (const char *name : {"1.jpg", "2.jpg", "3.jpg"}) {
        QFile page(folder.filePath(QLatin1String(name)));
        page.open(QIODevice::WriteOnly);
    }
    forms::setAppPathForTesting(folder.path());
    Form1 panel;
    panel.Text4->clear();
    const QImage client = panel.grab().toImage();
    forms::setAppPathForTesting({});

    // Add a title bar like a window manager's, so the picture reads as a window.
    constexpr int TitleHeight = 20;
    QImage window(client.width() + 2, client.height() + TitleHeight + 1, QImage::Format_RGB32);
    window.fill(QColor(0x3A, 0x5F, 0xA8));
    QPainter painter(&window);
    painter.drawImage(1, TitleHeight, client);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    painter.drawText(QRect(6, 0, window.width() - 60, TitleHeight), Qt::AlignVCenter,
                     panel.windowTitle());
    painter.drawText(QRect(window.width() - 50, 0, 46, TitleHeight),
                     Qt::AlignVCenter | Qt::AlignRight, QStringLiteral("_   ×"));
    return window;
}

void drawArrow(QPainter &painter, QPointF from, QPointF to)
{
    painter.save();
    painter.setPen(QPen(QColor(0xC0, 0x90, 0x00), 1));
    painter.setBrush(Arrow);
    const QLineF line(from, to);
    const QLineF normal = line.normalVector().unitVector();
    const QPointF side(normal.dx() * 4, normal.dy() * 4);
    const QLineF head = QLineF(to, from).unitVector();
    const QPointF back(head.dx() * 12, head.dy() * 12);
    QPainterPath path;
    path.moveTo(from + side);
    path.lineTo(to + back + side);
    path.lineTo(to + back + side * 2.2);
    path.lineTo(to);
    path.lineTo(to + back - side * 2.2);
    path.lineTo(to + back - side);
    path.lineTo(from - side);
    path.closeSubpath();
    painter.drawPath(path);
    painter.restore();
}

int drawParagraph(QPainter &painter, int x, int y, int width, const QString &text)
{
    const QRect box(x, y, width, 200);
    const QRect used = painter.boundingRect(box, Qt::TextWordWrap, text);
    painter.drawText(box, Qt::TextWordWrap, text);
    return y + used.height() + 3;
}

QImage sheet()
{
    QImage image(SheetSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    QFont body = painter.font();
    body.setPixelSize(12);
    QFont bold = body;
    bold.setBold(true);
    QFont title = bold;
    title.setPixelSize(18);
    title.setUnderline(true);

    painter.setFont(title);
    painter.setPen(Heading);
    painter.drawText(QPoint(16, 28), QStringLiteral("Program Instruction"));
    const int titleWidth = painter.fontMetrics().horizontalAdvance(QStringLiteral("Program Instruction"));
    painter.setFont(body);
    painter.setPen(Ink);
    painter.drawText(QPoint(16 + titleWidth + 10, 28),
                     QStringLiteral("(please read before using the program)"));

    int y = 44;
    painter.setFont(bold);
    y = drawParagraph(painter, 16, y, 630, QStringLiteral("Part I   File preparation"));
    painter.setFont(body);
    y = drawParagraph(painter, 30, y, 616,
                      QStringLiteral("1. Scan all the paper documents with a width that fits the screen "
                                     "(640, 800, 1024, 1280 or 1600 pixels). If the size does not fit, "
                                     "the page will be smaller or larger than the screen, which is also "
                                     "acceptable."));
    y = drawParagraph(painter, 30, y, 616,
                      QStringLiteral("2. Save all files with ordered numbers (1.jpg, 2.jpg, 3.jpg ...) in "
                                     ".jpg format and keep them in the program folder."));
    y += 6;
    painter.setFont(bold);
    y = drawParagraph(painter, 16, y, 630, QStringLiteral("Part II   Program usage"));
    painter.setFont(body);
    y = drawParagraph(painter, 30, y, 616,
                      QStringLiteral("1. Open Word, Excel or another typing program."));
    y = drawParagraph(painter, 30, y, 616,
                      QStringLiteral("2. Open Zorvane; a window as in the following picture is shown, "
                                     "ready to use."));

    // The panel, with numbered call-outs.
    const QImage panel = panelPicture();
    const QPoint at(112, y + 64);
    painter.drawImage(at, panel);
    painter.setPen(QPen(QColor(0x80, 0x80, 0x80)));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(at, panel.size()).adjusted(0, 0, -1, -1));

    const QPoint client = at + QPoint(1, 20);  // the panel's client area in the sheet
    struct Callout {
        const char *text;
        QPoint label;      // left end of the text's baseline
        QPoint target;     // in the panel's client coordinates
        QPoint tail;       // where the arrow starts, relative to the label
    };
    const Callout callouts[] = {
        {"1. select to see the scanned document", {16, at.y() + panel.height() + 52}, {40, 34}, {60, -16}},
        {"2. adjust position", {300, at.y() + panel.height() + 52}, {296, 36}, {40, -16}},
        {"3. adjust transparent", {440, y + 30}, {330, 8}, {20, 6}},
        {"4. scroll up-down", {480, at.y() + panel.height() + 52}, {428, 30}, {30, -16}},
    };
    QFont calloutFont = bold;
    painter.setFont(calloutFont);
    for (const Callout &c : callouts) {
        drawArrow(painter, c.label + c.tail, client + c.target);
        painter.setPen(CalloutText);
        painter.drawText(c.label, QLatin1String(c.text));
    }

    // The shortcuts.
    const QRect box(16, SheetSize.height() - 74, 630, 60);
    painter.setPen(QPen(Ink, 1));
    painter.setBrush(QColor(0xF4, 0xF4, 0xF4));
    painter.drawRect(box);
    painter.setFont(bold);
    painter.drawText(box.adjusted(10, 6, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("Shortcuts (they work while the typing program has the keyboard)"));
    painter.setFont(body);
    painter.drawText(box.adjusted(10, 26, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("Shift+Ctrl+U  page up\nShift+Ctrl+H  previous page"));
    painter.drawText(box.adjusted(320, 26, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("Shift+Ctrl+K  next page\nShift+Ctrl+M  page down"));
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    // The picture shows the panel on a 1024-pixel screen, whatever this machine has.
    QTemporaryDir configFolder;
    const QString config = configFolder.filePath(QStringLiteral("screen.json"));
    QFile configFile(config);
    if (configFile.open(QIODevice::WriteOnly))
        configFile.write(R"({"screens": [{"name": "sheet", "width": 1024, "height": 768,
                                          "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    configFile.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toLocal8Bit());
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_help_sheet OUT.png\n");
        return 2;
    }
    if (!sheet().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "make_help_sheet: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
