// Durable replacement with Win32 calls: FlushFileBuffers on the new file, then
// MoveFileEx with MOVEFILE_WRITE_THROUGH, which returns once the rename is on the disk.

#include "platform/forms/durable_file.h"

#include <QDir>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace durable {

namespace {

bool failed(QString *error)
{
    if (error) {
        wchar_t *text = nullptr;
        const DWORD code = ::GetLastError();
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                             | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
        *error = text ? QString::fromWCharArray(text).trimmed()
                      : QStringLiteral("system error %1").arg(code);
        ::LocalFree(text);
    }
    return false;
}

std::wstring native(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

} // namespace

bool syncFile(const QString &path, QString *error)
{
    const HANDLE file = ::CreateFileW(native(path).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return failed(error);
    const bool flushed = ::FlushFileBuffers(file);
    if (!flushed)
        failed(error);
    ::CloseHandle(file);
    return flushed;
}

bool replaceFile(const QString &from, const QString &to, QString *error)
{
    if (!::MoveFileExW(native(from).c_str(), native(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return failed(error);
    return true;
}

} // namespace durable
