#pragma once
// Types the portal's interface descriptions name for qdbusxml2cpp.

#include <QList>
#include <QMetaType>
#include <QPair>
#include <QString>
#include <QVariantMap>

// The portal's a(sa{sv}) shortcut lists: an id with its properties.
using PortalShortcutList = QList<QPair<QString, QVariantMap>>;
