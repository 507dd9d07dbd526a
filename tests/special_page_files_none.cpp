#include "special_page_files.h"

namespace testsupport {

QList<FailingPage> makeSpecialPageFiles(const QString &)
{
    return {};
}

} // namespace testsupport
