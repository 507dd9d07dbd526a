#include "viewer/page_cache.h"

PageCache::PageCache(QObject *parent)
    : QObject(parent)
{
}

PageCache::~PageCache() = default;

QImage PageCache::load(const QString &path, forms::Error *error)
{
    return forms::LoadPicture(path, error);
}

void PageCache::prefetch(const QStringList &)
{
}
