#include "app/ui/shell_hooks.h"

ShellHooks& Shell_Hooks() {
    static ShellHooks hooks;
    return hooks;
}
