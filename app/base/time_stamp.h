// Change-time stamps: seconds since 1970-01-01 00:00:00 UTC as a double, with
// the fraction of the second the system clock gives.
#pragma once

void Time_Now(double& out);
