#include "channels/canaux.h"

const char* const BLOC[4] = {"Bloc_A", "Bloc_B", "Bloc_C", "Bloc_D"};
