#include "app/parentconsole.h"

// A start from a terminal has its standard streams already.
void useParentConsole() {}
