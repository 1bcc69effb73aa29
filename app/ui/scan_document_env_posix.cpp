// The user and computer that the scan's history entries name, on the native
// test build; the system numbers stay 0.
#include "app/ui/scan_document.h"

#include <unistd.h>

#include <cstdlib>

ScanDocEnvironment ScanDoc_PlatformEnvironment() {
    ScanDocEnvironment e;
    if (const char* user = std::getenv("USER")) e.userName = user;
    char host[256] = "";
    if (gethostname(host, sizeof host - 1) == 0) e.computerName = host;
    return e;
}
