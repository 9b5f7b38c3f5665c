#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <map>

class PhoneBook;

// Puts changed settings into effect at once: the listener, the controller,
// who is trusted, the players, the infrared input, the notifications. The
// changes are key to value as they would be stored (the infrared buttons'
// as "LircButtons/<button>", a null value for one removed); what comes back is, by
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
    // The value a setting has while it is not stored, where this build or
    // this machine decides it (the controller's address); empty: none.
    virtual QString defaultOf(const QString& key) const = 0;
    // The address of the handset heard last, let in or not; empty: none yet.
    virtual QString lastSender() const = 0;
    // Whether the program starts with the session; setting it says why it
    // could not be set, or nothing.
    virtual bool startsWithSession() const = 0;
    virtual QString setStartWithSession(bool on) = 0;
    // The next press of an infrared remote goes to the learner instead of
    // acting; a null learner gives up learning.
    using Learner = std::function<void(const QString& button, const QString& remote)>;
    virtual void learnButton(Learner learner) = 0;
    // The phones paired with the web remote, and links with a new pairing
    // code (empty while the web remote is off).
    virtual PhoneBook& phoneBook() = 0;
    virtual QStringList pairingLinks() = 0;
};
