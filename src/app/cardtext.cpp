#include "app/cardtext.h"

#include <QStringList>

namespace {

const QString kCardTitle = QStringLiteral("NUVOK RemoteControl V2.1");
const QString kAuthorLine = QStringLiteral("by the NUVOKrc developers, nuvokrc@example.org");

QString joinLines(const QStringList& lines) {
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace

namespace cardText {

QString usage() {
    return usage(QStringLiteral("VLC"), QStringLiteral("Winamp"));
}

QString usage(const QString& videoTitle, const QString& audioTitle) {
    return joinLines(
        {kCardTitle, QString(), QStringLiteral("Menu + Left: LED-Control"),
         QStringLiteral(" 1-8: Led"), QStringLiteral(" up/down: on/off"), QString(),
         QStringLiteral("Menu + Right: Video-Control (%1)").arg(videoTitle),
         QStringLiteral(" 5: [Space] Pause"), QStringLiteral(" Left/Right: CRSR left/right"),
         QString(), QStringLiteral("Menu + Up:   Audio-Control (%1)").arg(audioTitle),
         QStringLiteral(" 5: [C] Pause"), QStringLiteral(" 4/6: [Z]/[B] Last/Next Song"),
         QStringLiteral(" Left/Right: CRSR left/right"), QString(),
         QStringLiteral("99: DoorOpener"), QString(), kAuthorLine});
}

QString about() {
    return joinLines({kCardTitle, QStringLiteral("Built 20091223"), kAuthorLine});
}

} // namespace cardText
