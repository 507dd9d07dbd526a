#pragma once
// The two text-file operations behind the state file. Text is stored 8-bit in the
// Thai Windows code page (874); a text that code page cannot hold is stored as UTF-8.

#include "platform/forms/forms.h"

#include <QByteArray>
#include <QString>

namespace persist {

// The whole content of `filename` (at most its first 64 KiB: the file holds a short
// name), every character kept; "" when the file cannot be opened or read.
QString ReadTextFileContents1(const QString &filename);

// Writes `text` followed by CR LF. Replace mode puts the new file in place only once it
// is whole on the disk, so a failed step (a full disk included) leaves the previous file
// as it was; append mode adds after the last byte.
// Returns false and fills `error` (number and description) when nothing was written.
bool WriteTextFileContents(const QString &text, const QString &filename, bool appendMode,
                           forms::Error *error);

// The byte form the file uses for `text`: Windows-874, or UTF-8 when that code page
// cannot hold the text (or its bytes would pass for UTF-8). decodeText takes valid UTF-8
// with non-ASCII bytes as UTF-8 and anything else as Windows-874, whose unassigned bytes
// stand for the code point of the same value, so that any bytes survive a round trip.
QByteArray encodeText(const QString &text);
QString decodeText(const QByteArray &bytes);

} // namespace persist
