#pragma once

// Speakers and microphone volume of the first mixer device.
class clsVolume {
public:
    virtual ~clsVolume() = default;
};
