#include "surface/fit/fit.h"
#include "../frame/frame.h"
