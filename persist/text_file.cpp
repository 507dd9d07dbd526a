#include "persist/text_file.h"

#include "platform/forms/durable_file.h"
#include "platform/text/windows874.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>

#include <optional>

namespace persist {

namespace {

// The file holds one short name; anything past this is not ours and must not stall
// start-up or fill memory.
constexpr qint64 ReadCap = 64 * 1024;

const QByteArray LineEnd = QByteArrayLiteral("\r\n");

// The bytes read as strict UTF-8, or nothing when they are not UTF-8. With `cutShort`,
// a sequence that the read stopped inside at the very end is left out instead of
// making the whole invalid.
std::optional<QString> fromUtf8(const QByteArray &bytes, bool cutShort)
{
    // A stateful decoder keeps an unfinished last sequence back; a stateless one
    // counts it as an error. A leading U+FEFF is part of the name, not a mark to drop.
    QStringConverter::Flags flags = QStringConverter::Flag::ConvertInitialBom;
    if (!cutShort)
        flags |= QStringConverter::Flag::Stateless;
    QStringDecoder decoder(QStringConverter::Utf8, flags);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

bool hasNonAscii(const QByteArray &bytes)
{
    for (char b : bytes) {
        if (uchar(b) >= 0x80)
            return true;
    }
    return false;
}

// Valid UTF-8 that needs more than ASCII is UTF-8; anything else is Windows-874.
QString decodeBytes(const QByteArray &bytes, bool cutShort)
{
    if (hasNonAscii(bytes)) {
        if (std::optional<QString> text = fromUtf8(bytes, cutShort))
            return *text;
    }
    return windows874::decode(bytes);
}

struct ReadResult {
    bool ok = false;
    bool cutShort = false; // the file goes on past the cap
    QByteArray bytes;
};

// Reads at most ReadCap bytes. The size is never trusted: /proc files report 0, and a
// file may grow or shrink between a size query and the read.
ReadResult readCapped(const QString &filename)
{
    ReadResult result;
    // Folders, FIFOs and devices are never a state file; a FIFO would block the open.
    if (!QFileInfo(filename).isFile())
        return result;
    QFile file(filename);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return result;
    QByteArray buffer(ReadCap + 1, Qt::Uninitialized); // one more byte tells if it goes on
    qint64 total = 0;
    while (total < buffer.size()) {
        const qint64 got = file.read(buffer.data() + total, buffer.size() - total);
        if (got < 0)
            return result;
        if (got == 0)
            break;
        total += got;
    }
    result.cutShort = total > ReadCap;
    buffer.truncate(qMin(total, ReadCap));
    result.bytes = buffer;
    result.ok = true;
    return result;
}

bool fail(forms::Error *error, int number, const QString &reason, const QString &filename,
          const QString &detail)
{
    if (error) {
        error->number = number;
        error->description = reason + QStringLiteral(": ") + filename;
        if (!detail.isEmpty() && detail.compare(reason, Qt::CaseInsensitive) != 0)
            error->description += QStringLiteral(" (") + detail + QLatin1Char(')');
    }
    return false;
}

bool failPathNotFound(forms::Error *error, const QString &filename, const QString &detail)
{
    return fail(error, forms::ErrPathNotFound, QStringLiteral("Path not found"), filename, detail);
}

bool failDenied(forms::Error *error, const QString &filename, const QString &detail)
{
    return fail(error, forms::ErrPermissionDenied, QStringLiteral("Permission denied"), filename,
                detail);
}

bool failDevice(forms::Error *error, const QString &filename, const QString &detail)
{
    return fail(error, forms::ErrDeviceIo, QStringLiteral("Device I/O error"), filename, detail);
}

// An open that failed: a missing folder (or a file where a folder should be) is "path not
// found"; any other refusal is "permission denied". `refusal` says what was refused, for
// when the system's own words would mislead (creating in /proc says "no such file").
bool failOpen(forms::Error *error, const QString &filename, const QString &systemText,
              const QString &refusal = QString())
{
    const QFileInfo folder(QFileInfo(filename).absolutePath());
    if (!folder.isDir())
        return failPathNotFound(error, filename, systemText);
    return failDenied(error, filename, refusal.isEmpty() ? systemText : refusal);
}

// Bytes for `line` to be added after `existing` such that the reader gets the old text
// followed by `line`. Windows-874 first, as for a fresh file; UTF-8 when that would
// change how the whole file reads (e.g. after UTF-8 content). When neither keeps the old
// text as it was (Windows-874 content, then a text only UTF-8 can hold), the new text's
// bytes are still right and the file is read as Windows-874.
QByteArray bytesToAppend(const QByteArray &existing, const QString &line)
{
    const QString before = decodeBytes(existing, false);
    if (const auto cp = windows874::encode(line)) {
        if (decodeBytes(existing + *cp, false) == before + line)
            return *cp;
    }
    return line.toUtf8();
}

bool appendBytes(const QString &filename, const QString &line, forms::Error *error)
{
    // Only a short file can be read back whole; past the cap the choice cannot matter.
    const ReadResult existing = readCapped(filename);
    const QByteArray bytes = existing.ok && !existing.cutShort
                                 ? bytesToAppend(existing.bytes, line)
                                 : encodeText(line);

    QFile file(filename);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return failOpen(error, filename, file.errorString());
    const qint64 before = file.size();
    if (file.write(bytes) != bytes.size()) {
        const QString detail = file.errorString();
        // Take back a partial line, so that a failure means nothing was written.
        file.resize(before);
        return failDevice(error, filename, detail);
    }
    file.close();
    return true;
}

bool replaceBytes(const QString &filename, const QByteArray &bytes, forms::Error *error)
{
    // A read-only file is not written. Renaming a new file over it in a writable folder
    // would get past that, so try the file itself for writing first (opening to append
    // changes nothing).
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                     | QFile::ReadOther;
    if (QFileInfo::exists(filename)) {
        QFile target(filename);
        if (!target.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly))
            return failOpen(error, filename, target.errorString());
        permissions = target.permissions();
        target.close();
    }

    // The new content goes to a file beside the old one and takes its name only once it
    // is whole on the disk: every step is checked first, as a full disk may fail any of
    // them (QSaveFile renamed an empty file over the old one when its buffered write
    // failed at commit).
    // A file of its own beside the old one. Not QTemporaryFile: it keeps its handle open
    // after close(), and Windows renames no file that is open.
    QFile file;
    for (int attempt = 0; attempt < 8 && !file.isOpen(); ++attempt) {
        file.setFileName(filename + QStringLiteral(".%1.new").arg(QRandomGenerator::global()->generate(), 8, 16,
                                                                  QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && !QFileInfo::exists(file.fileName()))
            break;  // not a name taken by chance: the folder takes no new file
    }
    if (!file.isOpen())
        return failOpen(error, filename, file.errorString(),
                        QStringLiteral("the folder takes no new file"));
    const QString temporary = file.fileName();
    const auto failWith = [&](const QString &detail) {
        file.close();
        QFile::remove(temporary);
        return failDevice(error, filename, detail);
    };
    if (file.write(bytes) != bytes.size() || !file.flush())
        return failWith(file.errorString());
    file.close();
    if (file.error() != QFileDevice::NoError)
        return failWith(file.errorString());
    file.setPermissions(permissions);
    QString why;
    if (!durable::syncFile(temporary, &why))
        return failWith(why);
    if (!durable::replaceFile(temporary, filename, &why)) {
        if (QFileInfo::exists(temporary)) {
            QFile::remove(temporary);
            return failDenied(error, filename, why);
        }
        // Renamed, but the folder could not be synced: the name may not survive a power cut.
        return failDevice(error, filename, why);
    }
    return true;
}

} // namespace

QString ReadTextFileContents1(const QString &filename)
{
    const ReadResult read = readCapped(filename);
    if (!read.ok)
        return QString();
    return decodeBytes(read.bytes, read.cutShort);
}

bool WriteTextFileContents(const QString &text, const QString &filename, bool appendMode,
                           forms::Error *error)
{
    if (filename.isEmpty()) {
        if (error)
            *error = {forms::ErrPathNotFound, QStringLiteral("Path not found: no file name given")};
        return false;
    }

    // Only a regular file is written: a folder cannot be, a FIFO would block the open,
    // and swapping a new file in for a device would replace the device itself.
    const QFileInfo target(filename);
    if (target.isDir())
        return failDenied(error, filename, QStringLiteral("a folder has that name"));
    if (target.exists() && !target.isFile())
        return failDenied(error, filename, QStringLiteral("not a regular file"));

    const QString line = text + QString::fromLatin1(LineEnd);
    const bool written = appendMode ? appendBytes(filename, line, error)
                                    : replaceBytes(filename, encodeText(line), error);
    if (written && error)
        *error = forms::Error{};
    return written;
}

QByteArray encodeText(const QString &text)
{
    // Windows-874 when it holds the text and the bytes cannot pass for UTF-8 (which the
    // reader would prefer); otherwise UTF-8, which reads back exactly.
    if (const auto cp = windows874::encode(text)) {
        if (!hasNonAscii(*cp) || !fromUtf8(*cp, false))
            return *cp;
    }
    return text.toUtf8();
}

QString decodeText(const QByteArray &bytes)
{
    return decodeBytes(bytes, false);
}

} // namespace persist
