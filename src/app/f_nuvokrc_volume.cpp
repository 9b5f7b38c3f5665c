#include "app/f_nuvokrc.h"

void F_NUVOKrc::VolIncr() {}
void F_NUVOKrc::VolDecr() {}
