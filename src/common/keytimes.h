#pragma once

// The moments a key passes the stages of its way through the program, for
// the benchmark that splits a key's latency into its parts. Written only when
// the environment variable NUVOKRC_KEY_TIMES names a file: one line a mark,
// "<stage> <nanoseconds of the steady clock>", kept in memory until the
// keystrokes are marked, so that the file costs the key nothing. Otherwise a
// mark costs one test of a flag.

namespace nuvok::keytimes {

enum class Stage {
    Interpreter, // the key code reaches the interpreter
    Keystrokes,  // the keystrokes have been handed to the display server
};

void mark(Stage stage);

} // namespace nuvok::keytimes
