#include "odd_page_files.h"

namespace testsupport {

QList<FailingPage> makeOddPageFiles(const QString &) { return {}; }
bool mountSmallDisk(const QString &) { return false; }
void fillDisk(const QString &) {}
void unmountDisk(const QString &) {}

} // namespace testsupport
