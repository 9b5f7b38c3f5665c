#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nuvok {

// A media player as it presents itself on the desktop's message bus (MPRIS).
struct MediaPlayer {
    std::string busName;  // "org.mpris.MediaPlayer2.vlc"
    std::string identity; // "VLC media player"; empty when the player did not say
    bool playing = false;
};

enum class PlayerCall { PlayPause, Previous, Next, Seek };

// The players that can be driven without keystrokes. Linux has a back-end
// over D-Bus (mediaplayers_dbus.cpp); tests use a fake.
class MediaPlayers {
public:
    virtual ~MediaPlayers() = default;
    // The players there now, ordered by bus name. Throws Failure when they
    // cannot be listed (no session bus).
    virtual std::vector<MediaPlayer> list() = 0;
    // Sends the call; offsetMicroseconds is the jump of a Seek. Throws Failure
    // when the player refuses it or does not answer in time.
    virtual void call(const std::string& busName, PlayerCall call,
                      std::int64_t offsetMicroseconds = 0) = 0;
};

// The player for a title: one whose bus name suffix or identity contains the
// title as a whole word, ignoring case; among several the first one playing,
// else the first.
std::optional<MediaPlayer> matchMediaPlayer(const std::vector<MediaPlayer>& players,
                                            std::string_view title);

// The name of a call as the log shows it ("PlayPause", "Seek").
std::string callName(PlayerCall call);

// The back-end of this OS, or none where there is none (Windows).
std::unique_ptr<MediaPlayers> createMediaPlayers();

} // namespace nuvok
