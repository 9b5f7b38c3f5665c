#pragma once

// Platform back-ends handed to the main window. The program fills them with
// the real back-ends of its OS; tests hand in fakes.
struct WindowServices {
};
