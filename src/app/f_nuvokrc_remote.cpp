#include "app/f_nuvokrc.h"

// The session interprets the key; the window shows what it says.
void F_NUVOKrc::doRC(int iCommand) {
    m_session->doRC(iCommand);
}
