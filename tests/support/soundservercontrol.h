#pragma once

// What tests ask of and tell a private sound server through pactl, whichever
// server it is (PulseAudio, or PipeWire's PulseAudio service).

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace nuvok::test {

class SoundServerControl {
public:
    virtual ~SoundServerControl() = default;

    // The address clients are given in PULSE_SERVER.
    virtual QString address() const = 0;

    bool setDefaultSink(const QString& sink);
    bool setSinkVolume(const QString& sink, const QString& volume);
    // The raw volume of every channel of a sink; empty when it cannot be read.
    QList<long> sinkVolumes(const QString& sink);
    // The default sink's name, as the server tells it; empty when it does not answer.
    QString defaultSink();

protected:
    // pactl's exit code (-1 when it did not finish in time), its standard
    // output in output.
    int pactl(const QStringList& arguments, QByteArray* output = nullptr);
    // The private environment pactl runs in.
    virtual QProcessEnvironment pactlEnvironment() const = 0;
};

} // namespace nuvok::test
