#include "odd_page_files.h"

namespace testsupport {

QList<FailingPage> makeOddPageFiles(const QString &)
{
    return {};
}

} // namespace testsupport
