#pragma once

#include <string>

namespace nuvok {

// The kind of input a key came through.
enum class InputKind { Program, Handset, Infrared, Phone, Test };

// Who pressed, as a value that stays the same for every key of one sender
// whatever the sender calls itself: the address and the transport of a
// handset, the name of an infrared remote, the number of a phone.
struct SenderIdentity {
    InputKind kind = InputKind::Program;
    std::string id;
    friend bool operator==(const SenderIdentity&, const SenderIdentity&) = default;
};

// Who sent a key code, and what it may make the controller do. By default a
// key may do everything, as the program's own keys do.
struct KeyOrigin {
    std::string sender; // as the log names it ("127.0.0.2 by UDP")
    // Why its keys may send no controller command at all; empty: they may.
    std::string noController;
    // Why they may not switch output 1 on, which opens the door (the door
    // pulse, LED 1 on); empty: they may.
    std::string noDoor;
    // What the door's "9 9" compares: never the name, which two senders may share.
    SenderIdentity identity;
};

} // namespace nuvok
