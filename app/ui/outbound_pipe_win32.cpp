// The outbound named pipe: one live record per profile event for an outside
// listener. Its failure is not reported; the writer then finds no pipe.
#include "app/ui/shell_win32.h"

namespace {

constexpr DWORD kPipeOutputBuffer = 6984;  // one scan pipe record
constexpr DWORD kPipeTimeoutMs = 1000;

}  // namespace

void Pipe_Create() {
    Pipe_Close();
    Shell().pipe = CreateNamedPipeA("\\\\.\\Pipe\\TolvaranPipe", PIPE_ACCESS_OUTBOUND, PIPE_TYPE_MESSAGE | PIPE_WAIT, 1,
                                    kPipeOutputBuffer, 0, kPipeTimeoutMs, nullptr);
}

void Pipe_Close() {
    HANDLE& pipe = Shell().pipe;
    if (pipe != INVALID_HANDLE_VALUE && pipe != nullptr) CloseHandle(pipe);
    pipe = INVALID_HANDLE_VALUE;
}

HANDLE App_GetPipe() { return Shell().pipe; }
