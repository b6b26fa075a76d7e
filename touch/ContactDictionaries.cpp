#include "touch/ContactDictionaries.h"

#include "touch/AxisMapping.h"
#include "touch/ReportDecoder.h"

#include <QVariantMap>

QVariantList contactDictionariesFromList(const TouchContactList& list, const QRectF& bounds)
{
    QVariantList dictionaries;
    const int count = qBound(0, list.count, kMaxTouchSlots);
    dictionaries.reserve(count);
    for (int i = 0; i < count; ++i) {
        const TouchContact& contact = list.contacts[i];
        const QPointF point = mapContact(contact, bounds);
        QVariantMap entry;
        entry.insert(QStringLiteral("id"), uint(contact.contactID));
        entry.insert(QStringLiteral("x"), uint(contact.rawX));
        entry.insert(QStringLiteral("y"), uint(contact.rawY));
        entry.insert(QStringLiteral("xMinimum"), int(contact.xMinimum));
        entry.insert(QStringLiteral("xMaximum"), int(contact.xMaximum));
        entry.insert(QStringLiteral("yMinimum"), int(contact.yMinimum));
        entry.insert(QStringLiteral("yMaximum"), int(contact.yMaximum));
        entry.insert(QStringLiteral("screenX"), point.x());
        entry.insert(QStringLiteral("screenY"), point.y());
        entry.insert(QStringLiteral("width"), uint(contact.marker));
        entry.insert(QStringLiteral("kind"), qint64(contact.kind));
        entry.insert(QStringLiteral("kindName"), QString(contactKindName(contact.kind)));
        dictionaries.append(entry);
    }
    return dictionaries;
}
