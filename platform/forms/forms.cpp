#include "platform/forms/forms.h"
#include "platform/text/file_names.h"
#include "platform/picture/jpeg_decoder.h"
#include "platform/picture/page_file.h"
#include "platform/text/windows874.h"
#include "platform/window_system/taskbar.h"
#include "platform/window_system/window_system.h"

#include <QCoreApplication>
#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QHash>
#include <QImageReader>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

Q_LOGGING_CATEGORY(lcTiming, "zorvane.timing", QtWarningMsg)

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

int FittingWidth()
{
    QScreen *screen = primaryScreen();
    if (!screen)
        return 0;
    const int width = screen->geometry().width();
    const qreal scale = screen->devicePixelRatio();
    // The fewest screen pixels that Qt rounds to this width; a window of w is qRound(w * scale).
    const int native = int(std::ceil((width - 0.5) * scale - 1e-9));
    int fitting = width;
    while (fitting > 1 && qRound(fitting * scale) > native)
        --fitting;
    return fitting;
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
        if (!pagefile::readAtMost(file, MaxPictureFileSize, &data))
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

bool ReadPictureFile(const QString &path, Error *error, QByteArray *bytes)
{
    return readPicture(path, error, bytes);
}

QImage DecodePicture(const QString &path, const QByteArray &bytes, Error *error, QImage *spare,
                     const std::atomic<bool> *cancel)
{
    return decodePicture(path, bytes, error, spare, cancel);
}

void timingMark(const char *stage, const QString &detail)
{
    // A Windows program has no console to print to: the marks can go to a file instead.
    static FILE *const file = [] {
        const QByteArray path = qgetenv("ZORVANE_TIMING_FILE");
        return path.isEmpty() ? nullptr : std::fopen(path.constData(), "a");
    }();
    if (!file && !lcTiming().isDebugEnabled())
        return;
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const QString line = QString::number(std::chrono::duration<double, std::milli>(now).count(), 'f', 2)
        + QLatin1Char(' ') + QLatin1String(stage) + QLatin1Char(' ') + detail;
    if (!file) {
        qCDebug(lcTiming).noquote() << line;
        return;
    }
    static std::mutex writing;  // marks come from the decoding threads too
    const std::lock_guard lock(writing);
    std::fprintf(file, "%s\n", line.toUtf8().constData());
    std::fflush(file);
}

QImage LoadPictureTop(const QString &path, Error *error, QImage *spare, QSize view,
                      std::shared_ptr<PictureRest> *rest)
{
    rest->reset();
    QByteArray bytes;
    if (!readPicture(path, error, &bytes))
        return {};
    timingMark("file read");
    return DecodePictureTop(path, std::move(bytes), error, spare, view, rest);
}

QImage DecodePictureTop(const QString &path, QByteArray bytes, Error *error, QImage *spare,
                        QSize view, std::shared_ptr<PictureRest> *rest)
{
    rest->reset();
    QImage picture;
    if (auto pageRest = ::jpeg::decodeTop(bytes, qint64(MaxPictureMegabytes) << 20, spare, view, &picture)) {
        *rest = std::make_shared<PictureRest>(path, std::move(bytes), std::move(pageRest));
        timingMark("part in view decoded");
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
    if (m_rest->cancelled()) {
        m_rest->abandon();
    } else if (pictureRestHook() && !pictureRestHook()(m_path)) {
        m_error = {ErrInvalidPicture, QStringLiteral("Invalid picture: %1 (broken below its top rows)").arg(m_path)};
        m_rest->abandon();
    } else if (!m_rest->run() && !m_rest->cancelled()) {
        m_replacement = decodePicture(m_path, m_bytes, &m_error, nullptr);
    }
    m_bytes = QByteArray();
    {
        std::unique_lock lock(m_mutex);
        m_over = true;
    }
    m_changed.notify_all();
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
        std::unique_lock lock(m_mutex);
        while (!m_over)
            m_changed.wait(lock);
    }
    if (m_rest->wait())
        return true;
    *replacement = m_replacement;
    if (error)
        *error = m_error;
    return false;
}

void PictureRest::cancel()
{
    m_rest->cancel();
    // Not started yet: over now, on this thread (nothing is decoded).
    run();
}

void PictureRest::pause(bool paused)
{
    m_rest->pause(paused);
}

bool PictureRest::isDone() const
{
    std::unique_lock lock(m_mutex);
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

// Pages are the folder's files named *.jpg, in any letter case.
constexpr QLatin1StringView PageSuffix(".jpg");

// The page order, one rule for every system (the systems' own collations differ, and
// Wine's puts Thai among Latin names): spaces and punctuation first, then numbers by
// value, then letters without regard to case or accents, by script in code-point order
// (Latin before Thai), as ICU's root collation with numbers by value orders them. Thai
// is ordered as Thai dictionaries do: a leading vowel after its consonant, tone marks
// only between names otherwise equal.
constexpr char32_t AsciiPunctuationWeights = 0x10;
constexpr char32_t OtherSymbolWeights = 0x100;  // + code point
constexpr char32_t NumberWeight = 0x200000;     // then the digit count, then the digits
constexpr char32_t LetterWeights = 0x300000;    // + case-folded code point of the base letter
// ASCII spaces, punctuation and symbols in ICU's order.
constexpr std::string_view AsciiPunctuationOrder = " _-,;:!?.'\"()[]{}@*/\\&#%`^+<=>|~$";

bool isThaiConsonant(char32_t c) { return c >= 0x0E01 && c <= 0x0E2E; }
bool isThaiLeadingVowel(char32_t c) { return c >= 0x0E40 && c <= 0x0E44; }
bool isThaiVowelMark(char32_t c) { return c >= 0x0E31 && c <= 0x0E3A; }
bool isThaiToneOrSign(char32_t c) { return c >= 0x0E47 && c <= 0x0E4E; }
bool isDecimalDigit(char32_t c) { return QChar::category(c) == QChar::Number_DecimalDigit; }

char32_t letterWeight(char32_t c)
{
    if (QChar::decompositionTag(c) == QChar::Canonical)
        c = QChar::decomposition(c).toUcs4().value(0, c);
    return LetterWeights + QChar::toCaseFolded(c);
}

// Each weight as three bytes, most significant first, so that the keys compare as bytes.
// Appended to one string that holds every name's key: two allocations a name (the key,
// the name's code points) were 2-5 ms of the 30 ms a folder of 20,000 pages took to list.
class OrderKey
{
public:
    explicit OrderKey(std::string &keys) : m_bytes(keys) {}
    OrderKey &operator+=(char32_t weight)
    {
        m_bytes += char(weight >> 16);
        m_bytes += char(weight >> 8);
        m_bytes += char(weight);
        return *this;
    }

private:
    std::string &m_bytes;
};

// text: the caller's, used again from name to name.
void appendPageOrderKey(const QString &name, std::u32string &text, std::string &keys)
{
    text.clear();
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
            text += QChar::surrogateToUcs4(c, name.at(++i));
        else
            text += c.isSurrogate() ? char32_t(QChar::ReplacementCharacter) : char32_t(c.unicode());
    }
    const qsizetype size = qsizetype(text.size());
    OrderKey key(keys);
    for (qsizetype i = 0; i < size; ++i) {
        const char32_t c = text[i];
        if (isDecimalDigit(c)) {
            qsizetype end = i;
            while (end < size && isDecimalDigit(text[end]))
                ++end;
            while (i < end - 1 && QChar::digitValue(text[i]) == 0)
                ++i;  // 007 is 7
            key += NumberWeight;
            key += NumberWeight + char32_t(end - i);
            for (; i < end; ++i)
                key += NumberWeight + char32_t(QChar::digitValue(text[i]));
            --i;
        } else if (isThaiLeadingVowel(c) && i + 1 < size && isThaiConsonant(text[i + 1])) {
            key += letterWeight(text[i + 1]);
            key += letterWeight(c);
            ++i;
        } else if (isThaiToneOrSign(c) || QChar::category(c) == QChar::Other_Format
                   || (QChar::category(c) == QChar::Mark_NonSpacing && !isThaiVowelMark(c))) {
            continue;  // accents and tone marks: secondary
        } else if (QChar::isLetter(c) || QChar::isMark(c)) {
            key += letterWeight(c);
        } else if (c < 0x80 && AsciiPunctuationOrder.find(char(c)) != std::string_view::npos) {
            key += AsciiPunctuationWeights + char32_t(AsciiPunctuationOrder.find(char(c)));
        } else {
            key += OtherSymbolWeights + c;
        }
    }
}

QStringList listPagesNow(const QString &folder)
{
    filenames::Listing listing = filenames::listFiles(folder, PageSuffix);
    QStringList &names = listing.names;
    // Names Qt cannot spell (not UTF-8) come from Thai Windows: shown decoded from its
    // code page, opened by their bytes.
    for (const QByteArray &raw : std::as_const(listing.undecodable)) {
        const QString name = windows874::decode(raw);
        if (names.contains(name))
            continue;
        rawNames().insert(joinPath(folder, name), {folder, raw});
        names << name;
    }
    // Keys made once per name: comparing names afresh on every step of the sort took
    // most of the start-up time in a folder of 10,000 pages.
    struct Keyed {
        std::string_view primary;
        QString name;
        QString secondary;
    };
    std::string keys;
    keys.reserve(size_t(names.size()) * 36);
    std::vector<size_t> ends;
    ends.reserve(size_t(names.size()));
    std::u32string text;
    for (const QString &name : std::as_const(names)) {
        appendPageOrderKey(name, text, keys);
        ends.push_back(keys.size());
    }
    std::vector<Keyed> unsorted;
    unsorted.reserve(size_t(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i) {
        const size_t start = i == 0 ? 0 : ends[size_t(i) - 1];
        unsorted.push_back({std::string_view(keys).substr(start, ends[size_t(i)] - start),
                            std::move(names[i]), {}});
    }
    // Sorted by reference: moving the keys and names themselves took half the sort's time.
    std::vector<Keyed *> order(unsorted.size());
    for (size_t i = 0; i < unsorted.size(); ++i)
        order[i] = &unsorted[i];
    std::sort(order.begin(), order.end(),
              [](const Keyed *a, const Keyed *b) { return a->primary < b->primary; });
    // Then accents and Thai tone marks, worked out only where the primary keys tie;
    // names still equal (a.jpg, A.jpg) get a fixed order.
    for (auto run = order.begin(); run != order.end();) {
        const auto end = std::find_if(run, order.end(),
                                      [&](const Keyed *k) { return k->primary != (*run)->primary; });
        if (end - run > 1) {
            for (auto k = run; k != end; ++k)
                (*k)->secondary = (*k)->name.toCaseFolded().normalized(QString::NormalizationForm_D);
            std::sort(run, end, [](const Keyed *a, const Keyed *b) {
                return a->secondary != b->secondary ? a->secondary < b->secondary : a->name < b->name;
            });
        }
        run = end;
    }
    for (qsizetype i = 0; i < names.size(); ++i)
        names[i] = std::move(order[size_t(i)]->name);
    return names;
}

// A QThread rather than std::async: Qt lets go of what it keeps per thread in its own
// threads.
struct ListingAhead {
    ~ListingAhead()
    {
        if (thread)
            thread->wait();
    }
    QString folder;
    std::unique_ptr<QThread> thread;
    QStringList names;  // written by the thread, read once it has ended
};

ListingAhead &listingAhead()
{
    static ListingAhead ahead;
    return ahead;
}

} // namespace

void listPagesAhead(const QString &folder)
{
    ListingAhead &ahead = listingAhead();
    if (ahead.thread)
        ahead.thread->wait();
    ahead.folder = folder;
    ahead.thread.reset(QThread::create([&ahead, folder] { ahead.names = listPagesNow(folder); }));
    ahead.thread->setObjectName(QStringLiteral("page listing"));
    ahead.thread->start();
}

QStringList listPages(const QString &folder)
{
    ListingAhead &ahead = listingAhead();
    if (ahead.thread) {
        // Taken once: a later listing of the folder must see the files as they are then.
        ahead.thread->wait();
        ahead.thread.reset();
        QStringList names = std::exchange(ahead.names, QStringList());
        if (std::exchange(ahead.folder, QString()) == folder)
            return names;
    }
    return listPagesNow(folder);
}

QString appTitle()
{
    return QStringLiteral("Zorvane");
}

void setMessageBoxHandler(MessageBoxHandler handler)
{
    messageBoxHandler() = std::move(handler);
}

namespace {

QPointer<QWidget> &boxOwner()
{
    static QPointer<QWidget> owner;
    return owner;
}

QList<QPointer<QMessageBox>> &openBoxes()
{
    static QList<QPointer<QMessageBox>> boxes;
    return boxes;
}

// A quiet box is shown refusing the focus, so that the window system does not hand it
// the typist's keys; once it is on the screen it accepts the focus again, so that a
// click gives it the keyboard and Return, Escape or Space close it.
class AcceptFocusOnceShown : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = qobject_cast<QWindow *>(watched);
        if (window && event->type() == QEvent::Expose && window->isExposed()) {
            window->removeEventFilter(this);
            // After the window manager has decided on the focus of the new window.
            QTimer::singleShot(0, window, [window] {
                window->setFlag(Qt::WindowDoesNotAcceptFocus, false);
            });
        }
        return false;
    }
};

} // namespace

void setMessageBoxOwner(QWidget *owner)
{
    boxOwner() = owner;
}

void raiseOpenBoxes()
{
    for (const QPointer<QMessageBox> &box : std::as_const(openBoxes())) {
        if (box && box->isVisible())
            box->raise();
    }
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
    // may not take the focus, or the typist's next keys would land in the box. It shows
    // without it, and a click on it gives it the keyboard. A box raised inside such a box
    // stays as quiet: Qt counts the open box as focused although the window system never
    // gave it the focus.
    static int quietBoxes = 0;
    const bool quiet = quietBoxes > 0 || !QGuiApplication::focusWindow() || !ws::programHasKeyboard();
    AcceptFocusOnceShown acceptFocus;
    if (quiet) {
        box.setAttribute(Qt::WA_ShowWithoutActivating, true);
        box.setWindowFlag(Qt::WindowDoesNotAcceptFocus, true);
        box.winId();
        if (QWindow *window = box.windowHandle())
            window->installEventFilter(&acceptFocus);
        ++quietBoxes;
    }
    // Owned by the panel where an unowned box would get a taskbar button of its own.
    taskbar::ownDialog(&box, boxOwner());
    openBoxes().append(&box);
    box.exec();
    openBoxes().removeAll(&box);
    openBoxes().removeAll(nullptr);
    if (quiet)
        --quietBoxes;
}

} // namespace forms
