#pragma once
// Shared pieces of the window tests: a 1024 x 768 offscreen screen at 96 dpi, a
// program folder of generated pages, and a message-box recorder.

#include "panel/form1.h"
#include "platform/forms/forms.h"
#include "platform/window_system/fonts.h"
#include "viewer/form2.h"
#include "viewer/page_cache.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <memory>
#include <utility>

namespace testsupport {

// The offscreen platform reads its screens from a file named in the platform argument.
inline void useScreen1024x768()
{
    static QTemporaryFile config(QDir::tempPath() + QStringLiteral("/zorvane-screen-XXXXXX.json"));
    if (!config.open())
        qFatal("cannot write the offscreen screen configuration");
    config.write(R"({"synchronousWindowSystemEvents": true, "windowFrameMargins": false,
        "screens": [{"name": "test", "x": 0, "y": 0, "width": 1024, "height": 768,
                     "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    config.flush();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toLocal8Bit());
}

inline QByteArray jpegBytes(const QImage &image, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(85);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

// A page with detail in every row and column, so that one decoded wrongly shows.
inline QImage busyPage(QSize size, int seed = 0, bool grey = false)
{
    QImage page(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(page.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int v = (x * 7 + y * 13 + ((x ^ y) & 31) * 5 + seed * 40) & 255;
            line[x] = grey ? qRgb(v, v, v) : qRgb(v, (x + 2 * y) & 255, (255 - v + y) & 255);
        }
    }
    return grey ? page.convertToFormat(QImage::Format_Grayscale8) : page;
}

// A program folder with pages, and the panel started on it.
class ProgramFolder
{
public:
    ProgramFolder()
    {
        forms::setAppPathForTesting(QDir::toNativeSeparators(dir.path()));
        forms::setMessageBoxHandler([this](const QString &text, const QString &caption) {
            messages << caption + QStringLiteral(": ") + text;
            if (onMessage)
                onMessage(text, caption);
        });
    }
    ~ProgramFolder()
    {
        panel.reset();
        forms::setMessageBoxHandler({});
        forms::setAppPathForTesting({});
    }

    QString path(const QString &name) const { return dir.filePath(name); }

    // A page whose colour tells it apart in the picture.
    void addPage(const QString &name, QSize size = {64, 96}, QColor colour = Qt::white)
    {
        QImage page(size, QImage::Format_RGB32);
        page.fill(colour);
        QVERIFY(page.save(path(name), "JPEG"));
    }
    // Pages 1.jpg .. count.jpg, 41, 42, ... pixels wide, so the picture tells which one is shown.
    void addNumberedPages(int count, int height = 60)
    {
        for (int i = 1; i <= count; ++i)
            addPage(QStringLiteral("%1.jpg").arg(i), QSize(40 + i, height));
    }
    // first.jpg ... last.jpg, each an A4 page at 150 dpi with detail of its own.
    void addBusyPages(int first, int last)
    {
        for (int i = first; i <= last; ++i)
            addFile(QStringLiteral("%1.jpg").arg(i), jpegBytes(busyPage({1240, 1754}, i)));
    }
    // The page as a direct load of its file gives it, whole.
    QImage decoded(const QString &name) const { return forms::LoadPicture(path(name), nullptr); }
    void addFile(const QString &name, const QByteArray &bytes)
    {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray read(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QByteArray saved() const { return read(QStringLiteral("current.txt")); }
    // The message boxes shown since the last call.
    QStringList takeMessages() { return std::exchange(messages, {}); }

    Form1 &start()
    {
        panel = std::make_unique<Form1>();
        return *panel;
    }
    void load(const QString &name)
    {
        panel->Text4->setText(name);
        panel->Command6->click();
    }
    // The number of the page of addNumberedPages on screen; 0 before any.
    int shownPage() const
    {
        return panel->form2IfOpen() ? panel->form2().Image1->picture().width() - 40 : 0;
    }

    QTemporaryDir dir;
    std::unique_ptr<Form1> panel;
    QStringList messages;  // each "caption: text"
    std::function<void(const QString &, const QString &)> onMessage;
};

} // namespace testsupport

#define ZORVANE_TEST_MAIN(TestClass)                                                               \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        testsupport::useScreen1024x768();                                                          \
        QApplication app(argc, argv);                                                              \
        fonts::addThaiFallback(); /* as the program starts */                                     \
        TestClass test;                                                                            \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
