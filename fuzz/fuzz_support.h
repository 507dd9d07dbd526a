#pragma once
// Shared by the fuzz targets: a scratch file for each run and checks that stop the run
// with the broken property named.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace fuzzsupport {

[[noreturn]] inline void stop(const QString &why)
{
    std::fprintf(stderr, "fuzz: %s\n", qPrintable(why));
    std::abort();
}

// A file in a private folder for the process; in memory where there is one, as every run writes it.
inline QString scratchFile(const QString &name)
{
    const QString root = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                             ? QStringLiteral("/dev/shm")
                             : QDir::tempPath();
    static QTemporaryDir dir(root + QStringLiteral("/zorvane-fuzz-XXXXXX"));
    if (!dir.isValid())
        stop(QStringLiteral("no scratch folder under ") + root);
    return dir.filePath(name);
}

inline void putFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        stop(QStringLiteral("cannot write ") + path);
}

inline void check(bool holds, const char *property)
{
    if (!holds)
        stop(QStringLiteral("property broken: ") + QLatin1String(property));
}

} // namespace fuzzsupport
