#pragma once
#include "app/scan/scan.h"
