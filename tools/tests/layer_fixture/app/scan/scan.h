#pragma once
#include "app/base/messages.h"
#include <vector>
