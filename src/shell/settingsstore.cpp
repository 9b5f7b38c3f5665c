#include "shell/settingsstore.h"

#include "common/failure.h"

namespace nuvok {

void SettingsStore::store(const std::vector<Change>& changes) {
    for (const Change& change : changes) {
        if (change.section != "Settings" || !change.value)
            throw Failure("Could not save the setting " + change.key +
                          ": these settings cannot change it");
        write(change.key, *change.value);
    }
}

} // namespace nuvok
