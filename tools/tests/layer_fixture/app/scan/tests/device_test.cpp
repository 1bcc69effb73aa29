#include "app/ui/shell.h"
#include "sim/device.h"
#include "app/scan/tests/scan_fixture.h"
