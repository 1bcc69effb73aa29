#pragma once
#include "platform/os_seam.h"
