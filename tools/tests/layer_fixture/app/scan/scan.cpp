#include "app/scan/scan.h"
#include "scan_parts.h"
