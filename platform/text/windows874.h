#pragma once
// The Thai Windows code page (874), in which Thai Windows writes 8-bit text and file
// names.

#include <QByteArray>
#include <QString>

#include <optional>

namespace windows874 {

// The text's bytes, or nothing when the code page cannot hold one of its characters.
std::optional<QByteArray> encode(const QString &text);
// Every byte decodes: the bytes the code page leaves unassigned stand for the code
// point of the same value, so that any bytes survive a round trip.
QString decode(const QByteArray &bytes);

} // namespace windows874
