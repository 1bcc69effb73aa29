// Change-time stamps: seconds since 1970-01-01 00:00:00 UTC as a double, to
// the microsecond.
#pragma once

// The present time as a stamp, later than every stamp given before it in
// this process.
void Time_Now(double& out);
