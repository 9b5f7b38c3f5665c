#include "app/parentconsole.h"

#include <cstdio>
#include <windows.h>

namespace {

// Whether the start gave the program this stream: a file, a pipe, a device
// or a console it shares.
bool given(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// The console of the program that started this one, now this one's too; a
// program attached to a console already keeps that one.
bool attachedToParentConsole() {
    return AttachConsole(ATTACH_PARENT_PROCESS) || GetLastError() == ERROR_ACCESS_DENIED;
}

} // namespace

// The window subsystem gives the program no console of its own, and a start
// from a console window no standard streams: the parent's console is borrowed
// for the start's few lines. A start from Explorer, or from a program without
// a console, has none to borrow and prints nothing, as before.
void useParentConsole() {
    const bool output = given(STD_OUTPUT_HANDLE);
    const bool errors = given(STD_ERROR_HANDLE);
    if ((output && errors) || !attachedToParentConsole())
        return;
    if (!output)
        std::freopen("CONOUT$", "w", stdout);
    if (!errors)
        std::freopen("CONOUT$", "w", stderr);
}
