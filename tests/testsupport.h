#pragma once
// Shared pieces of the window tests: a 1024 x 768 offscreen screen at 96 dpi, a
// program folder of generated pages, and a message-box recorder.

#include "panel/form1.h"
#include "platform/forms/forms.h"
#include "platform/window_system/fonts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <memory>

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

struct Message {
    QString text;
    QString caption;
};

// A program folder with pages, and the panel started on it.
class ProgramFolder
{
public:
    ProgramFolder()
    {
        forms::setAppPathForTesting(QDir::toNativeSeparators(dir.path()));
        forms::setMessageBoxHandler([this](const QString &text, const QString &caption) {
            messages.push_back({text, caption});
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

    Form1 &start()
    {
        panel = std::make_unique<Form1>();
        return *panel;
    }

    QTemporaryDir dir;
    std::unique_ptr<Form1> panel;
    QList<Message> messages;
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
