#pragma once

namespace nuvok::test {

// A port that is free for TCP and UDP on every address at this moment, or 0.
int freePort();

} // namespace nuvok::test
