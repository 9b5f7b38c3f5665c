#include "app/f_nuvokrc.h"

void F_NUVOKrc::m_add2reg_Click() {}
