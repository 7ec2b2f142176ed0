#include "text/helpers.h"
