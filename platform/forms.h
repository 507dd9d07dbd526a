#pragma once
// What the windows rely on from a forms runtime: screen metrics in twips, the
// program's folder, picture decoding, message boxes and the page list of a folder.

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace forms {

// An error as a handler sees it: a number and a description.
struct Error {
    int number = 0;
    QString description;
};

// Error numbers, after the runtime this program was first written for.
inline constexpr int ErrFileNotFound = 53;
inline constexpr int ErrPermissionDenied = 70;
inline constexpr int ErrPathNotFound = 76;
inline constexpr int ErrInvalidPicture = 481;
inline constexpr int ErrDeviceIo = 57;
inline constexpr int ErrTypeMismatch = 13;
inline constexpr int ErrOverflow = 6;

// The primary screen, in twips (1/1440 inch).
namespace Screen {
int TwipsPerPixelX();
int TwipsPerPixelY();
double Width();   // twips
double Height();  // twips
// The primary screen on the desktop, in pixels. Twip places count from its top-left
// corner, as on a desktop where the primary screen always starts at 0, 0.
QRect Area();
}

// The page folder, without a trailing separator: the folder of the running executable
// unless start-up chose another (an argument, the folder chooser). Pages, the page
// list and current.txt are found here.
QString AppPath();
void setAppPath(const QString &folder);
// Tests point the program at a folder of their own.
inline void setAppPathForTesting(const QString &folder) { setAppPath(folder); }

// Joins a folder and a name with the platform's separator, always adding one.
QString joinPath(const QString &folder, const QString &name);

// Decodes the picture at `path` (EXIF orientation applied). On failure returns a
// null image and fills `error` with a number and a description that names the reason.
QImage LoadPicture(const QString &path, Error *error);
// As above; when `spare` is a picture of the page's size and format that nothing else
// holds, the page is decoded into its memory (and `spare` is left null), which saves
// faulting in fresh memory. Otherwise `spare` is left as it was.
QImage LoadPicture(const QString &path, Error *error, QImage *spare);

// The size and the modification and status-change times (ms since the epoch) of the
// file at `path`, pages with names that are not UTF-8 included; false when it is not there.
bool fileTimes(const QString &path, qint64 *size, qint64 *modified, qint64 *changed);

// The entries of `folder` matching `*.jpg` in any letter case, sorted by name
// without regard to case and with digit runs compared by value.
QStringList listPages(const QString &folder);

// Shows a message box with `text`, an OK button and `caption`; returns when it is closed.
void MsgBox(const QString &text, const QString &caption);

// The title message boxes carry when the caller gives none.
QString appTitle();

// Replaces the message box; the handler runs where the box would, on the GUI thread.
// Pass an empty function to restore the real box.
using MessageBoxHandler = std::function<void(const QString &text, const QString &caption)>;
void setMessageBoxHandler(MessageBoxHandler handler);

} // namespace forms
