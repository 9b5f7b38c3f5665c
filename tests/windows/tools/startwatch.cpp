// Tells the Windows tests who started a program: it watches the process list
// and, for every process with the program file name given on the command
// line (nuvokrc.exe) that starts while it runs, prints one line on standard
// output:
//   started PID by PARENT-NAME PARENT-PID
// PARENT-NAME is the program file name of the process that started it, as
// the list showed that process while it ran ("?" when it never showed it: a
// parent that came and went within one look). A short-lived starter such as
// a second explorer.exe is caught by looking every few milliseconds. It ends
// when its standard input reaches its end, so it never outlives the test.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <tlhelp32.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <set>
#include <string>

namespace {

std::atomic<bool> inputEnded = false;

DWORD WINAPI watchInput(void*) {
    char buffer[64];
    DWORD read = 0;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    while (ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    }
    inputEnded = true;
    return 0;
}

struct Process {
    DWORD parent = 0;
    std::wstring name;
};

// The running processes by their id; false when there is no list.
bool runningProcesses(std::map<DWORD, Process>& processes) {
    processes.clear();
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
        processes[entry.th32ProcessID] = {entry.th32ParentProcessID, entry.szExeFile};
    CloseHandle(snapshot);
    return true;
}

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text)
        out += c > 0 && c < 128 ? static_cast<char>(c) : '?';
    return out;
}

} // namespace

int wmain(int argc, wchar_t* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: startwatch PROGRAM.EXE\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::wstring watched = argv[1];
    std::map<DWORD, Process> now;
    if (!runningProcesses(now)) {
        std::fprintf(stderr, "startwatch: no process list (error %lu)\n", GetLastError());
        return 1;
    }
    // Every process seen so far, ended ones included, and the watched ones
    // already told (or running before the watch began).
    std::map<DWORD, std::wstring> seen;
    std::set<DWORD> told;
    for (const auto& [id, process] : now) {
        seen[id] = process.name;
        if (_wcsicmp(process.name.c_str(), watched.c_str()) == 0)
            told.insert(id);
    }
    const HANDLE watcher = CreateThread(nullptr, 0, watchInput, nullptr, 0, nullptr);
    if (watcher)
        CloseHandle(watcher);
    std::printf("watching\n");
    while (!inputEnded) {
        Sleep(5);
        if (!runningProcesses(now))
            continue;
        for (const auto& [id, process] : now)
            seen[id] = process.name;
        for (const auto& [id, process] : now) {
            if (_wcsicmp(process.name.c_str(), watched.c_str()) != 0 || !told.insert(id).second)
                continue;
            const auto parent = seen.find(process.parent);
            std::printf("started %lu by %s %lu\n", id,
                        parent == seen.end() ? "?" : narrow(parent->second).c_str(),
                        process.parent);
        }
    }
    return 0;
}
