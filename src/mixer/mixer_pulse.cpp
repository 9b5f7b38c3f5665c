// The sound server (PulseAudio, or PipeWire through pipewire-pulse) through
// its client library. The speakers line is the server's default sink and the
// microphone line its default source, both looked up by the server on every
// call, so a change of the default (a headset plugged in) is followed at once.
//
// libpulse runs in its own threaded main loop; the UI thread starts each
// request under the loop's lock and waits for its answer with a deadline, so a
// server that hangs costs at most one bounded wait and never freezes the
// window. When the connection ends (the server stopped or restarted) the
// mixer turns stale, and the volume object connects again on its next access.
#include "mixer/mixer_pulse.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace nuvok {
namespace {

constexpr std::uint32_t kSinkLine = 1;
constexpr std::uint32_t kSourceLine = 2;

// What one request brought back, written by libpulse's thread under the lock.
struct Answer {
    pa_threaded_mainloop* loop = nullptr; // woken when the answer is complete
    bool done = false;
    bool ok = false;
    bool found = false;
    pa_cvolume volume{};
    std::string device;
};

// What the server tells about a missing default device: whether it is
// PipeWire, how many devices of the kind it has, whether a session manager
// is among its clients.
struct Survey {
    pa_threaded_mainloop* loop = nullptr;
    bool done = false;
    bool pipewire = false;
    int devices = 0;
    bool sessionManager = false;
};

class PulseMixer final : public MixerBackend {
public:
    explicit PulseMixer(int roundTripMs) : m_roundTripMs(roundTripMs) {}
    ~PulseMixer() override { close(); }

    bool open() override {
        close();
        m_failure.clear();
        m_hung = false;
        m_timedOut = false;
        m_loop = pa_threaded_mainloop_new();
        if (!m_loop)
            return fail("the sound server's client library could not start");
        m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "NUVOKrc");
        if (!m_context)
            return fail("the sound server's client library could not start");
        pa_context_set_state_callback(m_context, &PulseMixer::stateChanged, this);
        if (pa_threaded_mainloop_start(m_loop) < 0)
            return fail("the sound server's client library could not start");
        m_running = true;

        pa_threaded_mainloop_lock(m_loop);
        // Never start a server of its own: the session's server is the one
        // the user hears.
        bool ok = pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
        if (ok)
            ok = waitLocked([this] {
                const pa_context_state_t state = pa_context_get_state(m_context);
                return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
            });
        if (ok && pa_context_get_state(m_context) != PA_CONTEXT_READY)
            ok = false;
        if (!ok && m_failure.empty())
            m_failure = serverError();
        m_hung = !ok && m_timedOut;
        pa_threaded_mainloop_unlock(m_loop);
        if (!ok) {
            const std::string why = m_failure;
            close();
            m_failure = why;
        }
        return ok;
    }

    // A line is there while the server has a default device of its kind.
    std::optional<std::uint32_t> findLine(std::uint32_t componentType) override {
        std::uint32_t line = 0;
        if (componentType == kComponentSpeakers)
            line = kSinkLine;
        else if (componentType == kComponentMicrophone)
            line = kSourceLine;
        else
            return std::nullopt;
        Answer answer;
        if (!query(line, answer))
            return std::nullopt;
        return line;
    }

    // The server's own scale: 0 is silence, PA_VOLUME_NORM is 100 %.
    std::optional<MixerControlInfo> findVolumeControl(std::uint32_t lineId) override {
        if (lineId != kSinkLine && lineId != kSourceLine)
            return std::nullopt;
        return MixerControlInfo{lineId, 0, static_cast<std::int32_t>(PA_VOLUME_NORM)};
    }

    // The loudest channel stands for the device.
    std::optional<std::int32_t> readValue(std::uint32_t controlId) override {
        Answer answer;
        if (!query(controlId, answer))
            return std::nullopt;
        return static_cast<std::int32_t>(
            std::min<pa_volume_t>(pa_cvolume_max(&answer.volume), PA_VOLUME_MAX));
    }

    // Every channel is scaled, so the balance between them stays.
    bool writeValue(std::uint32_t controlId, std::int32_t value) override {
        Answer answer;
        if (!query(controlId, answer))
            return false;
        const pa_volume_t level =
            value <= 0 ? PA_VOLUME_MUTED : std::min<pa_volume_t>(pa_volume_t(value), PA_VOLUME_MAX);
        pa_cvolume volume = answer.volume;
        pa_cvolume_scale(&volume, level);

        pa_threaded_mainloop_lock(m_loop);
        Answer done;
        done.loop = m_loop;
        pa_operation* operation =
            controlId == kSinkLine
                ? pa_context_set_sink_volume_by_name(m_context, answer.device.c_str(), &volume,
                                                     &PulseMixer::succeeded, &done)
                : pa_context_set_source_volume_by_name(m_context, answer.device.c_str(), &volume,
                                                       &PulseMixer::succeeded, &done);
        const bool ok = finishLocked(operation, done);
        if (ok && !done.ok)
            m_failure = "the sound server refused the level (" + serverError() + ")";
        pa_threaded_mainloop_unlock(m_loop);
        return ok && done.ok;
    }

    void close() override {
        if (m_loop && m_running) {
            pa_threaded_mainloop_lock(m_loop);
            if (m_context) {
                pa_context_set_state_callback(m_context, nullptr, nullptr);
                pa_context_disconnect(m_context);
            }
            pa_threaded_mainloop_unlock(m_loop);
            pa_threaded_mainloop_stop(m_loop);
        }
        m_running = false;
        if (m_context)
            pa_context_unref(m_context);
        m_context = nullptr;
        if (m_loop)
            pa_threaded_mainloop_free(m_loop);
        m_loop = nullptr;
        m_lost = false;
    }

    bool stale() override {
        if (!m_loop || !m_context)
            return true;
        pa_threaded_mainloop_lock(m_loop);
        const bool gone = m_lost || pa_context_get_state(m_context) != PA_CONTEXT_READY;
        pa_threaded_mainloop_unlock(m_loop);
        return gone;
    }

    std::string name() const override { return "the sound server (PulseAudio)"; }
    std::string failureText() const override { return m_failure; }
    bool hung() const override { return m_hung; }
    bool timedOut() const override { return m_timedOut; }

private:
    bool fail(const std::string& why) {
        m_failure = why;
        close();
        m_failure = why;
        return false;
    }

    // With the lock held.
    std::string serverError() const {
        if (m_timedOut)
            return "the sound server did not answer within " + std::to_string(m_roundTripMs) +
                   " ms";
        if (!m_context)
            return "no connection to the sound server";
        const int error = pa_context_errno(m_context);
        if (error == PA_ERR_CONNECTIONREFUSED || error == PA_ERR_INVALIDSERVER)
            return "no sound server is running";
        if (error == PA_ERR_CONNECTIONTERMINATED || error == PA_ERR_KILLED)
            return "the sound server has gone away";
        return std::string("sound server: ") + pa_strerror(error);
    }

    // The default device's volume and name.
    bool query(std::uint32_t lineId, Answer& answer) {
        if (!m_loop || !m_context) {
            m_failure = "no connection to the sound server";
            return false;
        }
        answer.loop = m_loop;
        pa_threaded_mainloop_lock(m_loop);
        pa_operation* operation =
            lineId == kSinkLine
                ? pa_context_get_sink_info_by_name(m_context, "@DEFAULT_SINK@",
                                                   &PulseMixer::sinkInfo, &answer)
                : pa_context_get_source_info_by_name(m_context, "@DEFAULT_SOURCE@",
                                                     &PulseMixer::sourceInfo, &answer);
        bool ok = finishLocked(operation, answer);
        if (ok && !answer.found) {
            ok = false;
            explainMissing(lineId);
        }
        pa_threaded_mainloop_unlock(m_loop);
        return ok;
    }

    // Why the server has no default device of the line's kind, with the
    // lock held. PipeWire leaves the choice of the default devices (and on a
    // desktop the devices themselves) to its session manager: without one
    // running there is no default whatever devices there are.
    void explainMissing(std::uint32_t lineId) {
        const std::string kind = lineId == kSinkLine ? "output" : "input";
        Survey survey;
        survey.loop = m_loop;
        if (!finishLocked(pa_context_get_server_info(m_context, &PulseMixer::serverInfo, &survey),
                          survey))
            return;
        survey.done = false;
        pa_operation* devices =
            lineId == kSinkLine
                ? pa_context_get_sink_info_list(m_context, &PulseMixer::countSink, &survey)
                : pa_context_get_source_info_list(m_context, &PulseMixer::countSource, &survey);
        if (!finishLocked(devices, survey))
            return;
        if (survey.pipewire) {
            survey.done = false;
            if (!finishLocked(pa_context_get_client_info_list(
                                  m_context, &PulseMixer::findSessionManager, &survey),
                              survey))
                return;
        }
        if (survey.pipewire && !survey.sessionManager)
            m_failure = "the sound server has no default " + kind +
                        ": PipeWire's session manager (WirePlumber) is not running";
        else if (survey.devices == 0)
            m_failure = "the sound server has no " + kind + " device";
        else
            m_failure = "the sound server has no default " + kind;
    }

    // Waits for a request started with the lock held; false when it could not
    // be started, the connection failed or the deadline passed.
    template <typename Reply> bool finishLocked(pa_operation* operation, Reply& answer) {
        if (!operation) {
            m_failure = serverError();
            m_lost = true;
            return false;
        }
        const bool finished = waitLocked(
            [&] { return answer.done || !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)); });
        if (!answer.done) {
            pa_operation_cancel(operation);
            m_failure = serverError();
            m_lost = true;
        }
        pa_operation_unref(operation);
        return finished && answer.done;
    }

    // Lets libpulse's thread run until the condition holds or the round-trip
    // deadline passes (a timer on the same loop wakes the wait).
    template <typename Condition> bool waitLocked(Condition condition) {
        m_timedOut = false;
        pa_time_event* deadline =
            pa_context_rttime_new(m_context, pa_rtclock_now() + pa_usec_t(m_roundTripMs) * 1000,
                                  &PulseMixer::deadlinePassed, this);
        // Without its deadline the wait could last for ever: it is not begun.
        if (!deadline)
            return condition();
        while (!condition() && !m_timedOut)
            pa_threaded_mainloop_wait(m_loop);
        pa_threaded_mainloop_get_api(m_loop)->time_free(deadline);
        return !m_timedOut || condition();
    }

    static void stateChanged(pa_context* context, void* self) {
        auto* mixer = static_cast<PulseMixer*>(self);
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
            mixer->m_lost = true;
        pa_threaded_mainloop_signal(mixer->m_loop, 0);
    }

    static void deadlinePassed(pa_mainloop_api*, pa_time_event*, const struct timeval*,
                               void* self) {
        auto* mixer = static_cast<PulseMixer*>(self);
        mixer->m_timedOut = true;
        pa_threaded_mainloop_signal(mixer->m_loop, 0);
    }

    template <typename Info> static void take(const Info* info, int eol, Answer& answer) {
        if (eol != 0) {
            answer.done = true;
            answer.ok = answer.found;
        } else if (info && !answer.found) {
            answer.found = true;
            answer.volume = info->volume;
            answer.device = info->name ? info->name : "";
        }
    }

    static void sinkInfo(pa_context*, const pa_sink_info* info, int eol, void* data) {
        auto& answer = *static_cast<Answer*>(data);
        take(info, eol, answer);
        pa_threaded_mainloop_signal(answer.loop, 0);
    }

    static void sourceInfo(pa_context*, const pa_source_info* info, int eol, void* data) {
        auto& answer = *static_cast<Answer*>(data);
        take(info, eol, answer);
        pa_threaded_mainloop_signal(answer.loop, 0);
    }

    static void serverInfo(pa_context*, const pa_server_info* info, void* data) {
        auto& survey = *static_cast<Survey*>(data);
        survey.pipewire = info && info->server_name &&
                          std::string(info->server_name).find("PipeWire") != std::string::npos;
        survey.done = true;
        pa_threaded_mainloop_signal(survey.loop, 0);
    }

    template <typename Info> static void count(const Info* info, int eol, Survey& survey) {
        if (eol != 0)
            survey.done = true;
        else if (info)
            ++survey.devices;
        pa_threaded_mainloop_signal(survey.loop, 0);
    }

    static void countSink(pa_context*, const pa_sink_info* info, int eol, void* data) {
        count(info, eol, *static_cast<Survey*>(data));
    }

    static void countSource(pa_context*, const pa_source_info* info, int eol, void* data) {
        count(info, eol, *static_cast<Survey*>(data));
    }

    // PipeWire lists its own clients too; its session managers by their program.
    static void findSessionManager(pa_context*, const pa_client_info* info, int eol, void* data) {
        auto& survey = *static_cast<Survey*>(data);
        if (eol != 0) {
            survey.done = true;
        } else if (info && info->proplist) {
            const char* binary = pa_proplist_gets(info->proplist, "application.process.binary");
            const std::string program = binary ? binary : "";
            if (program == "wireplumber" || program == "pipewire-media-session")
                survey.sessionManager = true;
        }
        pa_threaded_mainloop_signal(survey.loop, 0);
    }

    static void succeeded(pa_context*, int success, void* data) {
        auto& answer = *static_cast<Answer*>(data);
        answer.ok = success != 0;
        answer.done = true;
        pa_threaded_mainloop_signal(answer.loop, 0);
    }

    int m_roundTripMs;
    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    bool m_running = false;
    bool m_lost = false;
    bool m_timedOut = false;
    bool m_hung = false;
    std::string m_failure;
};

} // namespace

std::unique_ptr<MixerBackend> createPulseMixer(int roundTripMs) {
    return std::make_unique<PulseMixer>(roundTripMs);
}

} // namespace nuvok
