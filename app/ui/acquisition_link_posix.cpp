#include "app/ui/acquisition_link.h"

// Natively there is no shell window: the link alone.
void Acquisition_ConnectShell() { Acquisition_InstallScannerLink(); }
