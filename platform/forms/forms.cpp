#include "platform/forms/forms.h"
#include "platform/text/file_names.h"
#include "platform/picture/jpeg_decoder.h"
#include "platform/picture/page_file.h"
#include "platform/text/windows874.h"

#include <QCollator>
#include <QCoreApplication>
#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QGuiApplication>
#include <QHash>
#include <QImageReader>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>

#include <algorithm>

namespace forms {

namespace {

QString &appPathOverride()
{
    static QString folder;
    return folder;
}

MessageBoxHandler &messageBoxHandler()
{
    static MessageBoxHandler handler;
    return handler;
}

// Pages whose names are not UTF-8, by the path the program knows them by (the name
// decoded from Windows-874): where they really are.
struct RawName {
    QString folder;
    QByteArray name;
};

QHash<QString, RawName> &rawNames()
{
    static QHash<QString, RawName> names;
    return names;
}

constexpr double TwipsPerInch = 1440.0;
// A scan larger than this is no page (a 600-dpi page at quality 100 takes 24 MB). The
// file is read up to this much plus one byte, so a file that reads without end is
// refused in about a tenth of a second.
constexpr qint64 MaxPictureFileSize = qint64(64) << 20;
// Room for a 600-dpi A4 page (4961 x 7016, 139 MB decoded) with a little to spare: the
// decoded size bounds the time any file takes.
constexpr int MaxPictureMegabytes = 160;

int twipsPerPixel(qreal dotsPerInch)
{
    // A screen that reports no density is taken as the usual 96 dpi.
    if (dotsPerInch <= 0)
        dotsPerInch = 96;
    return qMax(1, qRound(TwipsPerInch / dotsPerInch));
}

QScreen *primaryScreen()
{
    return QGuiApplication::primaryScreen();
}

} // namespace

namespace Screen {

int TwipsPerPixelX()
{
    QScreen *screen = primaryScreen();
    return twipsPerPixel(screen ? screen->logicalDotsPerInchX() : 96);
}

int TwipsPerPixelY()
{
    QScreen *screen = primaryScreen();
    return twipsPerPixel(screen ? screen->logicalDotsPerInchY() : 96);
}

double Width()
{
    QScreen *screen = primaryScreen();
    return screen ? double(screen->geometry().width()) * TwipsPerPixelX() : 0.0;
}

double Height()
{
    QScreen *screen = primaryScreen();
    return screen ? double(screen->geometry().height()) * TwipsPerPixelY() : 0.0;
}

QRect Area()
{
    QScreen *screen = primaryScreen();
    return screen ? screen->geometry() : QRect();
}

} // namespace Screen

QString AppPath()
{
    if (!appPathOverride().isEmpty())
        return appPathOverride();
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

void setAppPath(const QString &folder)
{
    appPathOverride() = folder;
}

QString joinPath(const QString &folder, const QString &name)
{
    return folder + QDir::separator() + name;
}

QImage LoadPicture(const QString &path, Error *error)
{
    return LoadPicture(path, error, nullptr);
}

namespace {

// The file's bytes, or false with `error` filled in.
bool readPicture(const QString &path, Error *error, QByteArray *bytes)
{
    auto fail = [&](int number, const QString &description) {
        if (error)
            *error = {number, description};
        return false;
    };
    QByteArray data;
    const auto raw = rawNames().constFind(path);
    if (raw != rawNames().cend()) {
        QFile file;
        QString why;
        if (!filenames::openForReading(file, raw->folder, raw->name, &why))
            return fail(ErrFileNotFound, QStringLiteral("Cannot open %1: %2").arg(path, why));
        // Through the bytes, as below: at most the limit and one byte more.
        data = file.read(MaxPictureFileSize + 1);
        if (file.error() != QFileDevice::NoError)
            return fail(ErrDeviceIo, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
        if (data.size() > MaxPictureFileSize)
            return fail(ErrInvalidPicture, QStringLiteral("Invalid picture: %1 is too large").arg(path));
    } else {
        pagefile::ReadResult read = pagefile::readRegularFile(path, MaxPictureFileSize);
        switch (read.failure) {
        case pagefile::Failure::None:
            break;
        case pagefile::Failure::NotFound:
            return fail(ErrFileNotFound, QStringLiteral("File not found: %1").arg(path));
        case pagefile::Failure::TooLarge:
            return fail(ErrInvalidPicture,
                        QStringLiteral("Invalid picture: %1 is too large (%2)").arg(path, read.reason));
        case pagefile::Failure::NotRegular:
        case pagefile::Failure::Unreadable:
            return fail(ErrPermissionDenied, QStringLiteral("Cannot open %1: %2").arg(path, read.reason));
        }
        data = std::move(read.bytes);
    }
    // Pages are JPEG by their content, whatever the name says; the decoder would fill
    // in the missing part of a cut-off file in grey, so a file without its end marker
    // counts as broken.
    if (!::jpeg::isWholeJpeg(data))
        return fail(ErrInvalidPicture, QStringLiteral("Invalid picture: %1 is not a whole JPEG file").arg(path));
    *bytes = std::move(data);
    return true;
}

QImage decodePicture(const QString &path, const QByteArray &bytes, Error *error, QImage *spare,
                     const std::atomic<bool> *cancel = nullptr)
{
    auto fail = [&](int number, const QString &description) {
        if (error)
            *error = {number, description};
        return QImage();
    };
    QString refusal;
    QImage picture = ::jpeg::decodeDirect(bytes, qint64(MaxPictureMegabytes) << 20, spare, &refusal,
                                          cancel);
    if (!picture.isNull())
        return picture;
    if (!refusal.isEmpty())
        return fail(ErrInvalidPicture, QStringLiteral("Invalid picture: %1 (%2)").arg(path, refusal));

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoDetectImageFormat(false);
    // Phone photos of pages carry their orientation in EXIF.
    reader.setAutoTransform(true);
    // The allocation limit refuses headers that claim a
    // huge size before any memory is taken; a 600-dpi A4 page stays well below it.
    reader.setAllocationLimit(MaxPictureMegabytes);
    picture = reader.read();
    if (picture.isNull())
        return fail(ErrInvalidPicture,
                    QStringLiteral("Invalid picture: %1 (%2)").arg(path, reader.errorString()));
    return picture;
}

} // namespace

QImage LoadPicture(const QString &path, Error *error, QImage *spare,
                   const std::atomic<bool> *cancel)
{
    QByteArray bytes;
    if (!readPicture(path, error, &bytes))
        return {};
    return decodePicture(path, bytes, error, spare, cancel);
}

QImage LoadPictureTop(const QString &path, Error *error, QImage *spare, QSize view,
                      std::shared_ptr<PictureRest> *rest)
{
    rest->reset();
    QByteArray bytes;
    if (!readPicture(path, error, &bytes))
        return {};
    QImage picture;
    if (auto pageRest = ::jpeg::decodeTop(bytes, qint64(MaxPictureMegabytes) << 20, spare, view, &picture)) {
        *rest = std::make_shared<PictureRest>(path, std::move(bytes), std::move(pageRest));
        return picture;
    }
    return decodePicture(path, bytes, error, spare);
}

PictureRest::PictureRest(QString path, QByteArray bytes, std::shared_ptr<::jpeg::PageRest> rest)
    : m_path(std::move(path))
    , m_bytes(std::move(bytes))
    , m_rest(std::move(rest))
{
}

std::function<bool(const QString &)> &pictureRestHook()
{
    static std::function<bool(const QString &)> hook;
    return hook;
}

void setPictureRestHookForTesting(std::function<bool(const QString &path)> hook)
{
    pictureRestHook() = std::move(hook);
}

void PictureRest::run()
{
    if (m_claimed.exchange(true))
        return;
    // m_replacement and m_error are written before the rest reports that it is over,
    // and read only after that.
    if (pictureRestHook() && !pictureRestHook()(m_path)) {
        m_error = {ErrInvalidPicture, QStringLiteral("Invalid picture: %1 (broken below its top rows)").arg(m_path)};
        m_rest->abandon();
    } else if (!m_rest->run()) {
        m_replacement = decodePicture(m_path, m_bytes, &m_error, nullptr);
    }
    m_bytes = QByteArray();
    {
        const QMutexLocker lock(&m_mutex);
        m_over = true;
    }
    m_changed.wakeAll();
}

void PictureRest::waitFor(int rows, int columns)
{
    const bool inView = columns <= m_rest->columnsInView();
    if (inView && m_rest->rowsReady() >= rows)
        return;
    run();
    if (!inView)
        m_rest->wait();
    else
        m_rest->waitForRows(rows);
}

bool PictureRest::wait(QImage *replacement, Error *error)
{
    run();
    {
        const QMutexLocker lock(&m_mutex);
        while (!m_over)
            m_changed.wait(&m_mutex);
    }
    if (m_rest->wait())
        return true;
    *replacement = m_replacement;
    if (error)
        *error = m_error;
    return false;
}

bool PictureRest::isDone() const
{
    const QMutexLocker lock(&m_mutex);
    return m_over;
}

bool fileTimes(const QString &path, qint64 *size, qint64 *modified, qint64 *changed)
{
    const auto raw = rawNames().constFind(path);
    if (raw != rawNames().cend())
        return filenames::fileTimes(raw->folder, raw->name, size, modified, changed);
    // One stat: QFileInfo keeps what it read.
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    *size = info.size();
    *modified = info.fileTime(QFileDevice::FileModificationTime).toMSecsSinceEpoch();
    *changed = info.fileTime(QFileDevice::FileMetadataChangeTime).toMSecsSinceEpoch();
    return true;
}

namespace {

// Pages are the folder's files named *.jpg, in any letter case (as Qt's filters match);
// names Qt cannot spell are matched by their bytes.
const QStringList PageFilter = {QStringLiteral("*.jpg")};

bool isPageName(const QByteArray &raw)
{
    return raw.toLower().endsWith(".jpg");
}

} // namespace

QStringList listPages(const QString &folder)
{
    QDir dir(folder);
    QStringList names = dir.entryList(PageFilter,
                                      QDir::Files,
                                      QDir::NoSort);
    // The nameFilters match without regard to case on every platform.
    // Names Qt cannot spell (not UTF-8) come from Thai Windows: shown decoded from its
    // code page, opened by their bytes.
    for (const QByteArray &raw : filenames::undecodableFiles(folder)) {
        if (!isPageName(raw))
            continue;
        const QString name = windows874::decode(raw);
        if (names.contains(name))
            continue;
        rawNames().insert(joinPath(folder, name), {folder, raw});
        names << name;
    }
    // An explicit locale: under the C locale the collator ignores numeric mode.
    QCollator collator{QLocale(QLocale::English)};
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // Sort keys made once per name: comparing through the collator on every step of the
    // sort took most of the start-up time in a folder of 10,000 pages.
    struct Keyed {
        QCollatorSortKey key;
        QString name;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(names.size()));
    for (const QString &name : std::as_const(names))
        keyed.push_back({collator.sortKey(name), name});
    std::sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) {
        const int order = a.key.compare(b.key);
        // Names equal to the collator (a.jpg, A.jpg) still get a fixed order.
        return order != 0 ? order < 0 : a.name < b.name;
    });
    for (qsizetype i = 0; i < names.size(); ++i)
        names[i] = std::move(keyed[size_t(i)].name);
    return names;
}

bool holdsPages(const QString &folder)
{
    QDirIterator entries(folder, PageFilter, QDir::Files);
    if (entries.hasNext())
        return true;
    const QList<QByteArray> raw = filenames::undecodableFiles(folder);
    return std::any_of(raw.cbegin(), raw.cend(), isPageName);
}

QString appTitle()
{
    return QStringLiteral("Zorvane");
}

void setMessageBoxHandler(MessageBoxHandler handler)
{
    messageBoxHandler() = std::move(handler);
}

void MsgBox(const QString &text, const QString &caption)
{
    if (messageBoxHandler()) {
        // Copy: the handler may replace itself while it runs.
        const MessageBoxHandler handler = messageBoxHandler();
        handler(text, caption.isEmpty() ? appTitle() : caption);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, caption.isEmpty() ? appTitle() : caption, text,
                    QMessageBox::Ok);
    // The panel and the page stay above ordinary windows; the message must not hide behind them.
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // Raised by a hotkey while another program has the focus: a program in the background
    // may not take the focus, or the typist's next keys would land in the box. It shows,
    // and a click on OK still closes it. A box raised inside such a box stays as quiet:
    // Qt counts the open box as focused although the window system never gave it the focus.
    static int quietBoxes = 0;
    const bool quiet = quietBoxes > 0 || !QGuiApplication::focusWindow();
    if (quiet) {
        box.setAttribute(Qt::WA_ShowWithoutActivating, true);
        box.setWindowFlag(Qt::WindowDoesNotAcceptFocus, true);
        ++quietBoxes;
    }
    box.exec();
    if (quiet)
        --quietBoxes;
}

} // namespace forms
