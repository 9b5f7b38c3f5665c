// The mixer of machines without a sound server: the ALSA simple mixer of the
// "default" device, usually the first sound card.
#include "mixer/mixer_alsa.h"
#include "mixer/mixerchoice.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

namespace nuvok {
namespace {

constexpr const char* kDevice = "default";

struct MixerCloser {
    void operator()(snd_mixer_t* mixer) const { snd_mixer_close(mixer); }
};
using MixerHandle = std::unique_ptr<snd_mixer_t, MixerCloser>;

struct SelemIdDeleter {
    void operator()(snd_mixer_selem_id_t* id) const { snd_mixer_selem_id_free(id); }
};

// The ALSA library prints its own diagnostics ("ALSA lib ...") on standard
// error, where they would mix with the program's log; the program reports a
// missing or failing mixer itself, so they are dropped.
void dropLibraryMessage(const char*, int, const char*, int, const char*, ...) {}

std::int32_t toInt32(long value) {
    return static_cast<std::int32_t>(std::clamp<long>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// One line is one volume of one element. Elements are addressed by name and
// index rather than by pointer, because ALSA frees an element that goes away
// while events are handled.
struct Line {
    std::string name;
    unsigned index = 0;
    VolumeSide side = VolumeSide::Playback;
};

class AlsaMixer final : public MixerBackend {
public:
    ~AlsaMixer() override { close(); }

    bool open() override {
        close();
        snd_lib_error_set_handler(&dropLibraryMessage);
        snd_mixer_t* raw = nullptr;
        int rc = snd_mixer_open(&raw, 0);
        if (rc < 0)
            return failed(rc, "its default device cannot be opened");
        MixerHandle mixer(raw);
        if ((rc = snd_mixer_attach(raw, kDevice)) < 0 ||
            (rc = snd_mixer_selem_register(raw, nullptr, nullptr)) < 0 ||
            (rc = snd_mixer_load(raw)) < 0)
            return failed(rc, "its default device cannot be opened");
        m_mixer = std::move(mixer);
        m_failure.clear();
        return true;
    }

    std::optional<std::uint32_t> findLine(std::uint32_t componentType) override {
        if (!m_mixer)
            return std::nullopt;
        std::vector<snd_mixer_elem_t*> elems;
        std::vector<MixerElementCaps> caps;
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(m_mixer.get()); e;
             e = snd_mixer_elem_next(e)) {
            if (!snd_mixer_selem_is_active(e))
                continue;
            elems.push_back(e);
            caps.push_back({snd_mixer_selem_get_name(e),
                            snd_mixer_selem_has_playback_volume(e) != 0,
                            snd_mixer_selem_has_capture_volume(e) != 0});
        }
        const std::optional<MixerElementChoice> choice = chooseVolumeElement(caps, componentType);
        if (!choice)
            return std::nullopt;
        const Line line{caps[choice->index].name, snd_mixer_selem_get_index(elems[choice->index]),
                        choice->side};
        for (std::size_t i = 0; i < m_lines.size(); ++i)
            if (m_lines[i].name == line.name && m_lines[i].index == line.index &&
                m_lines[i].side == line.side)
                return static_cast<std::uint32_t>(i);
        m_lines.push_back(line);
        return static_cast<std::uint32_t>(m_lines.size() - 1);
    }

    // Each line has exactly one volume control, which shares the line's number.
    std::optional<MixerControlInfo> findVolumeControl(std::uint32_t lineId) override {
        snd_mixer_elem_t* elem = element(lineId);
        if (!elem)
            return std::nullopt;
        long minimum = 0;
        long maximum = 0;
        const int rc = m_lines[lineId].side == VolumeSide::Playback
                           ? snd_mixer_selem_get_playback_volume_range(elem, &minimum, &maximum)
                           : snd_mixer_selem_get_capture_volume_range(elem, &minimum, &maximum);
        if (rc < 0)
            return std::nullopt;
        return MixerControlInfo{lineId, toInt32(minimum), toInt32(maximum)};
    }

    std::optional<std::int32_t> readValue(std::uint32_t controlId) override {
        if (!m_mixer)
            return std::nullopt;
        // Take in what other programs changed since the last call.
        if (const int rc = snd_mixer_handle_events(m_mixer.get()); rc < 0) {
            failed(rc, "the device has gone away");
            m_lost = true;
            return std::nullopt;
        }
        snd_mixer_elem_t* elem = element(controlId);
        if (!elem)
            return std::nullopt;
        const bool playback = m_lines[controlId].side == VolumeSide::Playback;
        for (int ch = 0; ch <= SND_MIXER_SCHN_LAST; ++ch) {
            const auto channel = static_cast<snd_mixer_selem_channel_id_t>(ch);
            long value = 0;
            if (playback && snd_mixer_selem_has_playback_channel(elem, channel))
                return snd_mixer_selem_get_playback_volume(elem, channel, &value) < 0
                           ? std::nullopt
                           : std::optional<std::int32_t>(toInt32(value));
            if (!playback && snd_mixer_selem_has_capture_channel(elem, channel))
                return snd_mixer_selem_get_capture_volume(elem, channel, &value) < 0
                           ? std::nullopt
                           : std::optional<std::int32_t>(toInt32(value));
        }
        return std::nullopt;
    }

    bool writeValue(std::uint32_t controlId, std::int32_t value) override {
        snd_mixer_elem_t* elem = element(controlId);
        if (!elem)
            return false;
        const int rc = m_lines[controlId].side == VolumeSide::Playback
                           ? snd_mixer_selem_set_playback_volume_all(elem, value)
                           : snd_mixer_selem_set_capture_volume_all(elem, value);
        return rc >= 0 || failed(rc, "the level was refused");
    }

    void close() override {
        m_lines.clear();
        m_mixer.reset();
        m_lost = false;
    }

    bool stale() override { return !m_mixer || m_lost; }
    std::string name() const override { return "the ALSA mixer"; }
    std::string failureText() const override { return m_failure; }

private:
    bool failed(int rc, const std::string& what) {
        m_failure = what + " (" + snd_strerror(rc) + ")";
        return false;
    }

    snd_mixer_elem_t* element(std::uint32_t lineId) const {
        if (!m_mixer || lineId >= m_lines.size())
            return nullptr;
        snd_mixer_selem_id_t* raw = nullptr;
        if (snd_mixer_selem_id_malloc(&raw) < 0)
            return nullptr;
        const std::unique_ptr<snd_mixer_selem_id_t, SelemIdDeleter> id(raw);
        snd_mixer_selem_id_set_name(raw, m_lines[lineId].name.c_str());
        snd_mixer_selem_id_set_index(raw, m_lines[lineId].index);
        return snd_mixer_find_selem(m_mixer.get(), raw);
    }

    MixerHandle m_mixer;
    std::vector<Line> m_lines;
    bool m_lost = false; // the device went away
    std::string m_failure;
};

} // namespace

std::unique_ptr<MixerBackend> createAlsaMixer() {
    return std::make_unique<AlsaMixer>();
}

} // namespace nuvok
