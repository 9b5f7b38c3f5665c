#include "app/f_nuvokrc.h"

void F_NUVOKrc::doRC(int iCommand) { (void)iCommand; }
