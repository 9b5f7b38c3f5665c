#include "shell/mediaplayers.h"

#include "shell/titlematch.h"

namespace nuvok {
namespace {

constexpr std::string_view kBusPrefix = "org.mpris.MediaPlayer2.";

bool matches(const MediaPlayer& player, std::string_view title) {
    std::string_view suffix = player.busName;
    if (suffix.starts_with(kBusPrefix))
        suffix.remove_prefix(kBusPrefix.size());
    return containsWholeWord(suffix, title) || containsWholeWord(player.identity, title);
}

} // namespace

std::optional<MediaPlayer> matchMediaPlayer(const std::vector<MediaPlayer>& players,
                                            std::string_view title) {
    std::optional<MediaPlayer> first;
    for (const MediaPlayer& player : players) {
        if (!matches(player, title))
            continue;
        if (player.playing)
            return player;
        if (!first)
            first = player;
    }
    return first;
}

std::string callName(PlayerCall call) {
    switch (call) {
    case PlayerCall::PlayPause:
        return "PlayPause";
    case PlayerCall::Previous:
        return "Previous";
    case PlayerCall::Next:
        return "Next";
    case PlayerCall::Seek:
        return "Seek";
    }
    return "?";
}

} // namespace nuvok
