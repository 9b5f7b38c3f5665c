#pragma once

// For a start that only prints (--help, --version, --pair): where the system
// gave the program no standard output or standard error, as Windows gives
// none to a windowed program started from a console, those streams are
// opened on the console of the program that started it, when it has one.
// Output sent to a file or a pipe stays there; elsewhere nothing changes.
void useParentConsole();
