#pragma once

#include "remote/remoteactions.h"
#include "remote/remoteinterpreter.h"
#include "remote/remotestate.h"
#include "shell/mediaplayers.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace nuvok {

// How players are reached: auto tries the player's window first and its
// message-bus interface (MPRIS) when there is no such window; keys and mpris
// use one way only.
enum class PlayerControl { Auto, Keys, Mpris };

// The setting's value: "auto", "keys" or "mpris", ignoring case and blanks;
// anything else is auto.
PlayerControl playerControlFromSetting(std::string_view text);

class DesktopControl;

// Whether a player with this title can be reached now, in words: "found by
// its window", "found through MPRIS (<its name>)", or "not found: <why>".
// Asks the desktop and the bus as the rule says; never throws.
std::string playerWhereabouts(DesktopControl* desktop, MediaPlayers* players, PlayerControl rule,
                              const std::string& title);

// Which way each player title was last reached, kept between key codes: the
// cursor keys do not bring the player forward and go the same way.
struct PlayerWays {
    std::map<std::string, bool> viaBus; // title -> reached through MPRIS
};

// The interpreter's actions with players reached through MPRIS where their
// window cannot be found. Made for one key code: when that key code's
// activation went to an MPRIS player, its keystrokes become the matching
// calls. Everything else passes through to `inner` unchanged.
class PlayerReach : public RemoteActions {
public:
    PlayerReach(RemoteActions& inner, MediaPlayers* players, PlayerControl rule,
                const RemoteState& state, const PlayerTitles& titles, PlayerWays& ways);

    void logData(const std::string& strText) override { m_inner.logData(strText); }
    void sendCMD(const std::string& strData) override { m_inner.sendCMD(strData); }
    void scheduleDoorPulseEnd() override { m_inner.scheduleDoorPulseEnd(); }
    void VolIncr() override { m_inner.VolIncr(); }
    void VolDecr() override { m_inner.VolDecr(); }
    void showMode(const std::string& text) override { m_inner.showMode(text); }
    void activateWindow(const std::string& title) override;
    void sendKeys(const std::string& keys) override;

private:
    struct Mapped {
        PlayerCall call;
        std::int64_t offsetMicroseconds;
    };
    std::optional<Mapped> mapped(const std::string& keys) const;
    std::string modeTitle(const std::string& asked) const;
    std::optional<MediaPlayer> findPlayer(const std::string& title, std::string& whyNot);
    void send(const MediaPlayer& player, const Mapped& what);
    void announce(const MediaPlayer& player);

    RemoteActions& m_inner;
    MediaPlayers* m_players;
    PlayerControl m_rule;
    const RemoteState& m_state;
    const PlayerTitles& m_titles;
    PlayerWays& m_ways;
    std::optional<MediaPlayer> m_player; // this key code's activation went there
    bool m_announced = false;
};

} // namespace nuvok
