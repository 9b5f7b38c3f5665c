#include "remote/playerreach.h"

#include "common/failure.h"
#include "shell/desktopcontrol.h"
#include "shell/titlematch.h"

#include <algorithm>
#include <cctype>

namespace nuvok {
namespace {

constexpr std::int64_t kSecond = 1000000; // MPRIS counts in microseconds

bool isCursorKey(const std::string& keys) {
    return keys == "{left}" || keys == "{right}";
}

} // namespace

PlayerControl playerControlFromSetting(std::string_view text) {
    std::string word;
    for (char c : text) {
        if (!std::isspace(static_cast<unsigned char>(c)))
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (word == "keys")
        return PlayerControl::Keys;
    if (word == "mpris")
        return PlayerControl::Mpris;
    return PlayerControl::Auto;
}

PlayerReach::PlayerReach(RemoteActions& inner, MediaPlayers* players, PlayerControl rule,
                         const RemoteState& state, const PlayerTitles& titles, PlayerWays& ways)
    : m_inner(inner), m_players(players), m_rule(players ? rule : PlayerControl::Keys),
      m_state(state), m_titles(titles), m_ways(ways) {}

void PlayerReach::activateWindow(const std::string& title) {
    if (m_rule == PlayerControl::Keys) {
        m_inner.activateWindow(title);
        return;
    }
    const std::string busTitle = modeTitle(title);
    std::string whyNot;
    if (m_rule == PlayerControl::Auto) {
        try {
            m_inner.activateWindow(title);
            m_ways.viaBus[busTitle] = false;
            return;
        } catch (const WindowNotFound& notFound) {
            m_player = findPlayer(busTitle, whyNot);
            if (!m_player)
                throw Failure(notFound.description() + "; and " + whyNot);
        }
    } else {
        m_player = findPlayer(busTitle, whyNot);
        if (!m_player)
            throw Failure("Cannot reach the player \"" + busTitle + "\": " + whyNot);
    }
    m_ways.viaBus[busTitle] = true;
    announce(*m_player);
}

void PlayerReach::sendKeys(const std::string& keys) {
    const std::optional<Mapped> call = mapped(keys);
    if (m_player) {
        if (call)
            send(*m_player, *call);
        else
            m_inner.sendKeys(keys);
        return;
    }
    // Only the cursor keys go to the player without bringing it forward;
    // Select and 0 type into whatever has the focus.
    if (m_rule == PlayerControl::Keys || !call || !isCursorKey(keys)) {
        m_inner.sendKeys(keys);
        return;
    }
    const std::string title = modeTitle({});
    const auto way = m_ways.viaBus.find(title);
    if (m_rule == PlayerControl::Auto && way != m_ways.viaBus.end() && !way->second) {
        m_inner.sendKeys(keys); // its window was found last time
        return;
    }
    std::string whyNot;
    const std::optional<MediaPlayer> player = findPlayer(title, whyNot);
    if (player)
        send(*player, *call);
    else if (m_rule == PlayerControl::Auto)
        m_inner.sendKeys(keys);
    else
        throw Failure("Cannot reach the player \"" + title + "\": " + whyNot);
}

std::optional<PlayerReach::Mapped> PlayerReach::mapped(const std::string& keys) const {
    if (m_state.mode == mode_Video) {
        if (keys == " ")
            return Mapped{PlayerCall::PlayPause, 0};
        if (keys == "{left}")
            return Mapped{PlayerCall::Seek, -10 * kSecond};
        if (keys == "{right}")
            return Mapped{PlayerCall::Seek, 10 * kSecond};
    } else if (m_state.mode == mode_Audio) {
        if (keys == "c")
            return Mapped{PlayerCall::PlayPause, 0};
        if (keys == "z")
            return Mapped{PlayerCall::Previous, 0};
        if (keys == "b")
            return Mapped{PlayerCall::Next, 0};
        if (keys == "{left}")
            return Mapped{PlayerCall::Seek, -5 * kSecond};
        if (keys == "{right}")
            return Mapped{PlayerCall::Seek, 5 * kSecond};
    }
    return std::nullopt;
}

// The player of the current mode goes by its configured title, also where a
// key asks for its window by a fixed one.
std::string PlayerReach::modeTitle(const std::string& asked) const {
    if (m_state.mode == mode_Video && !m_titles.strVideoTitle.empty())
        return m_titles.strVideoTitle;
    if (m_state.mode == mode_Audio && !m_titles.strAudioTitle.empty())
        return m_titles.strAudioTitle;
    return asked;
}

std::optional<MediaPlayer> PlayerReach::findPlayer(const std::string& title, std::string& whyNot) {
    std::vector<MediaPlayer> players;
    try {
        players = m_players->list();
    } catch (const Failure& failure) {
        whyNot = "the MPRIS players cannot be listed: " + failure.description();
        return std::nullopt;
    }
    std::optional<MediaPlayer> found = matchMediaPlayer(players, title);
    if (!found)
        whyNot = "no MPRIS player on the session bus matches \"" + title + "\"";
    return found;
}

void PlayerReach::send(const MediaPlayer& player, const Mapped& what) {
    announce(player);
    m_players->call(player.busName, what.call, what.offsetMicroseconds);
}

void PlayerReach::announce(const MediaPlayer& player) {
    if (m_announced)
        return;
    m_announced = true;
    const std::string name = player.identity.empty() ? player.busName : player.identity;
    m_inner.logData("Through MPRIS: " + name + " (" + player.busName + ")");
}

std::string playerWhereabouts(DesktopControl* desktop, MediaPlayers* players, PlayerControl rule,
                              const std::string& title) {
    std::vector<std::string> whyNot;
    if (rule != PlayerControl::Mpris) {
        try {
            if (!desktop)
                throw Failure("no desktop to look on");
            matchWindowTitle(desktop->windowTitles(), title);
            return "found by its window";
        } catch (const Failure& failure) {
            whyNot.push_back(failure.description());
        }
    }
    if (rule != PlayerControl::Keys) {
        try {
            if (!players)
                throw Failure("no session bus to look on");
            const std::optional<MediaPlayer> found = matchMediaPlayer(players->list(), title);
            if (found)
                return "found through MPRIS (" +
                       (found->identity.empty() ? found->busName : found->identity) + ")";
            whyNot.push_back("no MPRIS player on the session bus matches \"" + title + "\"");
        } catch (const Failure& failure) {
            whyNot.push_back("the MPRIS players cannot be listed: " + failure.description());
        }
    }
    std::string text = "not found";
    for (std::size_t i = 0; i < whyNot.size(); ++i)
        text += (i == 0 ? ": " : "; ") + whyNot[i];
    return text;
}

} // namespace nuvok
