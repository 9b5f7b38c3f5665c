#pragma once

#include <QString>
#include <QtGlobal>

// The toolkit's own messages on standard error. A few of them come at every
// start on some platforms and tell the user nothing (a feature the program
// does not need is missing there); they are left out of the log stream.
// Everything else the toolkit says is passed on as it was.
namespace toolkitMessages {

// Whether this message of the toolkit is one of those known to mean nothing.
bool isNoise(QtMsgType type, const QString& message);
// From now on the toolkit's messages go through isNoise before they are
// written as before.
void leaveOutNoise();

} // namespace toolkitMessages
