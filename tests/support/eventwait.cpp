#include "support/eventwait.h"
