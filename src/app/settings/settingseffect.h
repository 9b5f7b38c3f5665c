#pragma once

#include <QString>

#include <map>

// Puts changed settings into effect at once: the listener, the controller,
// who is trusted, the players, the infrared input, the notifications. The
// changes are key to value as they would be stored; what comes back is, by
// key, why a change could not take effect (a port in use), so that it is not
// stored.
class SettingsEffect {
public:
    using Changes = std::map<QString, QString>;
    virtual ~SettingsEffect() = default;
    virtual Changes putIntoEffect(const Changes& changes) = 0;
    // What the settings of a page make the program do now, in words (where
    // the handset must send, who may open the door); empty: nothing to say.
    virtual QString stateOf(const QString& page) const = 0;
};
