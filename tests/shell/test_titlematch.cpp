#include "common/failure.h"
#include "shell/titlematch.h"
#include "support/check.h"

#include <string>
#include <vector>

namespace {

const std::size_t kFailed = static_cast<std::size_t>(-1);

std::size_t match(const std::vector<std::string>& titles, const std::string& wanted) {
    try {
        return nuvok::matchWindowTitle(titles, wanted);
    } catch (const nuvok::Failure&) {
        return kFailed;
    }
}

} // namespace

TEST_CASE("Titles match by equality, then prefix, then whole word") {
    struct Row {
        std::vector<std::string> titles;
        std::string wanted;
        std::size_t index;
    };
    const std::vector<Row> rows{
        {{"song.mp3 - VLC media player"}, "VLC", 0},
        {{"1. Artist - Title - Winamp"}, "Winamp", 0},
        {{"Terminal", "Winamp"}, "winamp", 1},
        {{"WINAMP"}, "Winamp", 0},
        // Equality beats a prefix, a prefix beats a contained word, whatever the order.
        {{"Winamp Playlist Editor", "Winamp"}, "Winamp", 1},
        {{"My VLC notes", "VLC media player"}, "VLC", 1},
        {{"VLCfoo"}, "VLC", 0},
        // The first of equals wins (windows are listed topmost first).
        {{"a - VLC media player", "b - VLC media player"}, "VLC", 0},
        // Only whole words count inside a title.
        {{"XVLC viewer", "notVLC", "the VLCs"}, "VLC", kFailed},
        {{"XVLC viewer", "VLCs are fun"}, "VLC", 1},
        {{"song (VLC)"}, "VLC", 0},
        {{"song\xE2\x80\x93VLC"}, "VLC", 0},   // en dash is no letter
        {{"song\xC3\xA9VLC"}, "VLC", kFailed}, // é is a letter
        {{"Über Player"}, "über", 0},
        {{"\xC3\x9C"
          "ber Player"},
         "\xC3\xBC"
         "ber",
         0},
        {{"\xD0\x9F\xD0\xBB\xD0\xB5\xD0\xB5\xD1\x80"},
         "\xD0\xBF\xD0\xBB\xD0\xB5\xD0\xB5\xD1\x80",
         0},
        {{"x - Media Player"}, "media player", 0},
        {{"- VLC"}, "- VLC", 0},
        {{"song - VLC"}, "- VLC", 0},
        {{}, "VLC", kFailed},
        {{"Winamp"}, "VLC", kFailed},
        {{"VL"}, "VLC", kFailed},
        {{"Winamp"}, "", kFailed},
    };
    for (const Row& row : rows)
        CHECK_EQ(match(row.titles, row.wanted), row.index);
}

TEST_CASE("A failed match names the title") {
    struct Row {
        std::vector<std::string> titles;
        std::string wanted;
        std::string mentions;
    };
    const std::vector<Row> rows{
        {{"Terminal"}, "VLC", "\"VLC\""},
        {{}, "Winamp", "\"Winamp\""},
        {{"Winamp"}, "", "\"\""},
    };
    for (const Row& row : rows) {
        std::string description = "(no failure)";
        try {
            nuvok::matchWindowTitle(row.titles, row.wanted);
        } catch (const nuvok::Failure& failure) {
            description = failure.description();
        }
        CHECK(description.find(row.mentions) != std::string::npos);
    }
}
