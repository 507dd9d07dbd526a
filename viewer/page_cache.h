#pragma once
// Decoded pages, kept ready so that a step to a neighbouring page shows at once.

#include "platform/forms.h"

#include <QImage>
#include <QObject>
#include <QStringList>

class PageCache : public QObject
{
public:
    explicit PageCache(QObject *parent = nullptr);
    ~PageCache() override;

    // The picture at `path`, as forms::LoadPicture gives it.
    QImage load(const QString &path, forms::Error *error);
    // Decodes these pages ahead; pages not named are dropped.
    void prefetch(const QStringList &paths);
};
