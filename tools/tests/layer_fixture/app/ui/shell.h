#pragma once
#include "app/scan/scan.h"
#include "surface/fit/fit.h"
