#pragma once

#include "session/remotesession.h"

#include <memory>
#include <mutex>

// Set from either thread, read by the sound server's work.
struct RemoteSession::VolumeSlot {
    void set(std::shared_ptr<clsVolume> volume) {
        const std::lock_guard lock(mutex);
        current = std::move(volume);
    }
    std::shared_ptr<clsVolume> get() {
        const std::lock_guard lock(mutex);
        return current;
    }
    std::mutex mutex;
    std::shared_ptr<clsVolume> current;
};
