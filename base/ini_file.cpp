#include "base/ini_file.h"
