#include "app/ui/shell.h"
