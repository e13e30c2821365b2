#include "ui/Dialog/cameramodes.h"

#include <QSet>

#include <algorithm>

void registerCapabilityMetaType() { qRegisterMetaType<Capability>("Capability"); }

QString cameraModeText(const Capability& mode)
{
    return QStringLiteral("%1x%2 %3fps").arg(mode.width).arg(mode.height).arg(mode.fps);
}

QVector<CameraModeItem> orderedCameraModes(const QVector<Capability>& modes)
{
    QVector<Capability> sorted = modes;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Capability& a, const Capability& b) {
        if (a.fps != b.fps)
            return a.fps > b.fps;
        if (a.width != b.width)
            return a.width < b.width;
        return a.height < b.height;
    });

    QVector<CameraModeItem> items;
    QSet<QString> seen;
    for (const Capability& mode : sorted) {
        const QString text = cameraModeText(mode);
        if (seen.contains(text))
            continue;
        seen.insert(text);
        items.append({ text, mode });
    }
    return items;
}
