#include "shell/mediaplayers.h"
#include "support/check.h"

#include <string>
#include <vector>

using nuvok::MediaPlayer;

TEST_CASE("A player matches by its bus name or identity, as a whole word, ignoring case") {
    struct Row {
        std::vector<MediaPlayer> players;
        std::string title;
        std::string found; // bus name, empty for none
    };
    const MediaPlayer vlc{"org.mpris.MediaPlayer2.vlc", "VLC media player", false};
    const MediaPlayer mpv{"org.mpris.MediaPlayer2.mpv.instance7", "mpv", false};
    const MediaPlayer playing{"org.mpris.MediaPlayer2.amp", "Winamp", true};
    const MediaPlayer paused{"org.mpris.MediaPlayer2.amp2", "Winamp", false};
    const std::vector<Row> rows{
        {{vlc}, "VLC", vlc.busName},
        {{vlc}, "vlc", vlc.busName},
        {{vlc}, "media player", vlc.busName},
        {{mpv}, "mpv", mpv.busName},
        {{mpv}, "MPV", mpv.busName},
        {{vlc}, "VL", ""},
        {{vlc}, "MediaPlayer2", ""}, // the common prefix is no part of the name
        {{{"org.mpris.MediaPlayer2.vlcx", "", false}}, "VLC", ""},
        {{vlc, mpv}, "mpv", mpv.busName},
        {{paused, playing}, "winamp", playing.busName},
        {{paused, {"org.mpris.MediaPlayer2.amp3", "Winamp", false}}, "Winamp", paused.busName},
        {{}, "VLC", ""},
        {{vlc}, "", ""},
    };
    for (const Row& row : rows) {
        const auto found = nuvok::matchMediaPlayer(row.players, row.title);
        CHECK_EQ(found ? found->busName : std::string(), row.found);
    }
}
