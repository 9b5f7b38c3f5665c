#pragma once

#include <QString>
#include <QtGlobal>

// Whether the program at the other end of a connected local socket runs as
// this user; who it is otherwise, in words, in *who.
bool peerIsThisUser(qintptr descriptor, QString* who);
