#include "instance/peeruser.h"

// The pipe is made for this user alone (its access list names only the
// user), so whoever is connected is this user.
bool peerIsThisUser(qintptr descriptor, QString* who) {
    (void)descriptor;
    (void)who;
    return true;
}
