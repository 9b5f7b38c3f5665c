#include "support/soundservercontrol.h"

#include <QProcess>
#include <QRegularExpression>

namespace nuvok::test {

namespace {
constexpr int kAnswerMs = 10000;
} // namespace

bool SoundServerControl::setDefaultSink(const QString& sink) {
    return pactl({QStringLiteral("set-default-sink"), sink}) == 0;
}

bool SoundServerControl::setSinkVolume(const QString& sink, const QString& volume) {
    return pactl({QStringLiteral("set-sink-volume"), sink, volume}) == 0;
}

// pactl's answer: "Volume: front-left: 19661 /  30% / ..., front-right: ...".
QList<long> SoundServerControl::sinkVolumes(const QString& sink) {
    QByteArray text;
    QList<long> values;
    if (pactl({QStringLiteral("get-sink-volume"), sink}, &text) != 0)
        return values;
    static const QRegularExpression channel(QStringLiteral(R"(:\s*(\d+)\s*/\s*\d+%)"));
    for (auto it = channel.globalMatch(QString::fromUtf8(text)); it.hasNext();)
        values << it.next().captured(1).toLong();
    return values;
}

QString SoundServerControl::defaultSink() {
    QByteArray text;
    if (pactl({QStringLiteral("get-default-sink")}, &text) != 0)
        return {};
    return QString::fromUtf8(text).trimmed();
}

int SoundServerControl::pactl(const QStringList& arguments, QByteArray* output) {
    QProcess process;
    process.setProcessEnvironment(pactlEnvironment());
    process.start(QStringLiteral("pactl"),
                  QStringList{QStringLiteral("-s"), address()} + arguments);
    if (!process.waitForFinished(kAnswerMs)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace nuvok::test
