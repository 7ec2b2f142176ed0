#include "text/codepage.h"
