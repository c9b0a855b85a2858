#include "exportoptions.h"

bool secondLifeOption = false;
