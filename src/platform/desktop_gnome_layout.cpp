#include "platform/desktop_gnome_layout.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QList>
#include <QVariantMap>

#include <algorithm>
#include <cmath>
#include <map>

namespace platform {

std::vector<MonitorPlace> monitorLayout(const QDBusConnection &bus)
{
    const QDBusMessage reply = QDBusConnection(bus).call(QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Mutter.DisplayConfig"), QStringLiteral("/org/gnome/Mutter/DisplayConfig"),
        QStringLiteral("org.gnome.Mutter.DisplayConfig"), QStringLiteral("GetCurrentState")));
    const QList<QVariant> args = reply.arguments();
    if (reply.type() == QDBusMessage::ErrorMessage || args.size() < 4)
        return {};

    // a((ssss)a(siiddada{sv})a{sv}): each monitor's current mode, in
    // physical pixels.
    std::map<QString, std::pair<int, int>> modeOf;
    const QDBusArgument monitors = args.at(1).value<QDBusArgument>();
    monitors.beginArray();
    while (!monitors.atEnd()) {
        QString connector, vendor, product, serial;
        monitors.beginStructure();
        monitors.beginStructure();
        monitors >> connector >> vendor >> product >> serial;
        monitors.endStructure();
        monitors.beginArray();
        while (!monitors.atEnd()) {
            QString id;
            int width = 0, height = 0;
            double refresh = 0, preferredScale = 0;
            QList<double> scales;
            QVariantMap properties;
            monitors.beginStructure();
            monitors >> id >> width >> height >> refresh >> preferredScale >> scales >> properties;
            monitors.endStructure();
            if (properties.value(QStringLiteral("is-current")).toBool())
                modeOf[connector] = {width, height};
        }
        monitors.endArray();
        QVariantMap properties;
        monitors >> properties;
        monitors.endStructure();
    }
    monitors.endArray();

    // Layout mode 1 places monitors in logical pixels (a mode's pixels
    // divided by its scale), 2 in physical ones.
    const QVariantMap properties = qdbus_cast<QVariantMap>(args.at(3));
    const bool logical = properties.value(QStringLiteral("layout-mode"), 1).toUInt() == 1;

    // a(iiduba(ssss)a{sv}): where each logical monitor lies.
    std::vector<MonitorPlace> places;
    const QDBusArgument logicals = args.at(2).value<QDBusArgument>();
    logicals.beginArray();
    while (!logicals.atEnd()) {
        int x = 0, y = 0;
        double scale = 1;
        uint transform = 0;
        bool primary = false;
        QString first;
        logicals.beginStructure();
        logicals >> x >> y >> scale >> transform >> primary;
        logicals.beginArray();
        while (!logicals.atEnd()) {
            QString connector, vendor, product, serial;
            logicals.beginStructure();
            logicals >> connector >> vendor >> product >> serial;
            logicals.endStructure();
            if (first.isEmpty())
                first = connector;
        }
        logicals.endArray();
        QVariantMap own;
        logicals >> own;
        logicals.endStructure();
        const auto mode = modeOf.find(first);
        if (mode == modeOf.end())
            continue;
        auto [width, height] = mode->second;
        if (transform % 2 == 1) // turned by 90° or 270°
            std::swap(width, height);
        const double divisor = logical && scale > 0 ? scale : 1.0;
        places.push_back({first, Rect{x, y, int(std::lround(width / divisor)), int(std::lround(height / divisor))}, primary});
    }
    logicals.endArray();
    std::stable_partition(places.begin(), places.end(), [](const MonitorPlace &p) { return p.primary; });
    return places;
}

std::size_t monitorAt(const std::vector<MonitorPlace> &places, Point p)
{
    std::size_t best = 0;
    long long bestDistance = -1;
    for (std::size_t i = 0; i < places.size(); ++i) {
        const Rect &r = places[i].area;
        // Distance to the rectangle along each axis; 0 inside it.
        const long long dx = p.x < r.x ? r.x - p.x : (p.x >= r.x + r.width ? p.x - (r.x + r.width - 1) : 0);
        const long long dy = p.y < r.y ? r.y - p.y : (p.y >= r.y + r.height ? p.y - (r.y + r.height - 1) : 0);
        const long long distance = dx * dx + dy * dy;
        if (bestDistance < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace platform
