#include "sim/device.h"
#include "app/ui/shell.h"
