#include "platform/text/windows874.h"

#include <array>

namespace windows874 {

namespace {

// Windows-874, byte to code point. The bytes that code page leaves unassigned map to the
// C1/Latin-1 code point of the same value, so that any byte string survives a
// decode-encode round trip.
constexpr std::array<char16_t, 256> makeCp874Table()
{
    std::array<char16_t, 256> table{};
    for (int b = 0; b < 256; ++b)
        table[b] = char16_t(b);
    table[0x80] = 0x20AC;
    table[0x85] = 0x2026;
    table[0x91] = 0x2018;
    table[0x92] = 0x2019;
    table[0x93] = 0x201C;
    table[0x94] = 0x201D;
    table[0x95] = 0x2022;
    table[0x96] = 0x2013;
    table[0x97] = 0x2014;
    for (int b = 0xA1; b <= 0xDA; ++b)
        table[b] = char16_t(0x0E01 + (b - 0xA1));
    for (int b = 0xDF; b <= 0xFB; ++b)
        table[b] = char16_t(0x0E3F + (b - 0xDF));
    return table;
}

constexpr std::array<char16_t, 256> Cp874 = makeCp874Table();

// The Windows-874 byte for `u`, or -1 when that code page cannot hold it.
int cp874Byte(char16_t u)
{
    if (u < 0x80)
        return u;
    if (u >= 0x0E01 && u <= 0x0E3A)
        return 0xA1 + (u - 0x0E01);
    if (u >= 0x0E3F && u <= 0x0E5B)
        return 0xDF + (u - 0x0E3F);
    if (u <= 0xFF)
        return Cp874[u] == u ? int(u) : -1; // a byte of its own value, unless taken
    for (int b = 0x80; b <= 0xA0; ++b) {
        if (Cp874[b] == u)
            return b;
    }
    return -1;
}

} // namespace

std::optional<QByteArray> encode(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar c : text) {
        const int b = cp874Byte(c.unicode());
        if (b < 0)
            return std::nullopt;
        bytes.append(char(b));
    }
    return bytes;
}

QString decode(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (char b : bytes)
        *out++ = QChar(Cp874[uchar(b)]);
    return text;
}

} // namespace windows874
