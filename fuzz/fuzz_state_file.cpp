// The state file's reader and writer under fuzzing: any bytes on disk read as text
// that is written back to read the same, and every name saved comes back unchanged.

#include "fuzz_support.h"
#include "persist/text_file.h"

#include <cstdint>

namespace {

QString statePath;
const QString LineEnd = QStringLiteral("\r\n");

void savedNameComesBack(const QString &name)
{
    forms::Error error;
    fuzzsupport::check(persist::WriteTextFileContents(name, statePath, false, &error),
                       "a name is saved");
    fuzzsupport::check(persist::ReadTextFileContents1(statePath) == name + LineEnd,
                       "a saved name reads back unchanged");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    statePath = fuzzsupport::scratchFile(QStringLiteral("current.txt"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Past 64 KiB the reader stops: a state file holds one short name.
    if (size > 32 * 1024)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    const QString text = persist::decodeText(bytes);
    fuzzsupport::check(persist::decodeText(persist::encodeText(text)) == text,
                       "decoded text survives encoding");
    fuzzsupport::putFile(statePath, bytes);
    fuzzsupport::check(persist::ReadTextFileContents1(statePath) == text,
                       "the reader gives what the bytes decode to");

    // The name start-up takes from such a file, and any text that is valid Unicode.
    savedNameComesBack(text.section(LineEnd, 0, 0));
    savedNameComesBack(QString::fromUtf8(bytes));
    return 0;
}
