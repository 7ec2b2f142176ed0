#include "text/file.h"
