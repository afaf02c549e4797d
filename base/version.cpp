#include "base/version.h"

#ifndef ONDARIS_VERSION
#define ONDARIS_VERSION "inconnue"
#endif

const char* version_ondaris() { return ONDARIS_VERSION; }
