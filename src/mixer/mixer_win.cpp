// The mixer on Windows: winmm's first mixer device. Every structure is the
// platform's own, sized with sizeof, and lives only for its call. A call that
// fails because the device went away (a USB headset unplugged) makes the
// mixer stale, so that the volume object opens the first device again.
#include "mixer/mixer_win.h"

#include <string>

namespace nuvok {
namespace {

// The handle flag tells winmm that the object is an open handle rather than a
// device number.
constexpr DWORD kByHandle = MIXER_OBJECTF_HMIXER;

// Results that mean the device is no longer there.
bool deviceGone(MMRESULT result) {
    return result == MMSYSERR_NODRIVER || result == MMSYSERR_INVALHANDLE ||
           result == MMSYSERR_BADDEVICEID;
}

class WinmmMixer final : public MixerBackend {
public:
    explicit WinmmMixer(WinmmCalls calls) : m_calls(std::move(calls)) {}
    ~WinmmMixer() override { close(); }

    bool open() override {
        close();
        HMIXER handle = nullptr;
        if (!checked(m_calls.open(&handle, 0, 0, 0, MIXER_OBJECTF_MIXER)))
            return false;
        m_handle = handle;
        return true;
    }

    std::optional<std::uint32_t> findLine(std::uint32_t componentType) override {
        if (!m_handle)
            return std::nullopt;
        MIXERLINEA line{};
        line.cbStruct = sizeof line;
        line.dwComponentType = componentType;
        const MMRESULT result =
            m_calls.getLineInfo(object(), &line, kByHandle | MIXER_GETLINEINFOF_COMPONENTTYPE);
        // A device without a line of that kind is no failure: device 0 is
        // usually the speakers, with the microphone on a device of its own.
        if (result == MIXERR_INVALLINE) {
            m_failure.clear();
            return std::nullopt;
        }
        if (!checked(result))
            return std::nullopt;
        return line.dwLineID;
    }

    std::optional<MixerControlInfo> findVolumeControl(std::uint32_t lineId) override {
        if (!m_handle)
            return std::nullopt;
        MIXERCONTROLA control{};
        control.cbStruct = sizeof control;
        MIXERLINECONTROLSA request{};
        request.cbStruct = sizeof request;
        request.dwLineID = lineId;
        request.dwControlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
        request.cControls = 1;
        request.cbmxctrl = sizeof control;
        request.pamxctrl = &control;
        if (!checked(m_calls.getLineControls(object(), &request,
                                             kByHandle | MIXER_GETLINECONTROLSF_ONEBYTYPE)))
            return std::nullopt;
        // The bounds are unsigned words that the program handles as signed values.
        return MixerControlInfo{control.dwControlID,
                                static_cast<std::int32_t>(control.Bounds.dwMinimum),
                                static_cast<std::int32_t>(control.Bounds.dwMaximum)};
    }

    std::optional<std::int32_t> readValue(std::uint32_t controlId) override {
        if (!m_handle)
            return std::nullopt;
        MIXERCONTROLDETAILS_UNSIGNED value{};
        MIXERCONTROLDETAILS details = describe(controlId, value);
        if (!checked(m_calls.getControlDetails(object(), &details,
                                               kByHandle | MIXER_GETCONTROLDETAILSF_VALUE)))
            return std::nullopt;
        return static_cast<std::int32_t>(value.dwValue);
    }

    bool writeValue(std::uint32_t controlId, std::int32_t newValue) override {
        if (!m_handle)
            return false;
        MIXERCONTROLDETAILS_UNSIGNED value{};
        value.dwValue = static_cast<DWORD>(newValue);
        MIXERCONTROLDETAILS details = describe(controlId, value);
        return checked(m_calls.setControlDetails(object(), &details,
                                                 kByHandle | MIXER_SETCONTROLDETAILSF_VALUE));
    }

    void close() override {
        if (m_handle)
            m_calls.close(m_handle);
        m_handle = nullptr;
        m_lost = false;
    }

    bool stale() override { return !m_handle || m_lost; }
    std::string name() const override { return "the Windows mixer"; }
    std::string failureText() const override { return m_failure; }

private:
    bool checked(MMRESULT result) {
        if (result == MMSYSERR_NOERROR)
            return true;
        if (deviceGone(result)) {
            m_lost = true;
            m_failure = "the mixer device is not there (it may have been unplugged)";
        } else {
            m_failure = "the Windows mixer reported error " + std::to_string(result);
        }
        return false;
    }

    HMIXEROBJ object() const { return reinterpret_cast<HMIXEROBJ>(m_handle); }

    // One value for all channels of the control.
    static MIXERCONTROLDETAILS describe(DWORD controlId, MIXERCONTROLDETAILS_UNSIGNED& value) {
        MIXERCONTROLDETAILS details{};
        details.cbStruct = sizeof details;
        details.dwControlID = controlId;
        details.cChannels = 1;
        details.cMultipleItems = 0;
        details.cbDetails = sizeof value;
        details.paDetails = &value;
        return details;
    }

    WinmmCalls m_calls;
    HMIXER m_handle = nullptr;
    bool m_lost = false;
    std::string m_failure;
};

} // namespace

std::unique_ptr<MixerBackend> createWinmmMixer(WinmmCalls calls) {
    return std::make_unique<WinmmMixer>(std::move(calls));
}

std::unique_ptr<MixerBackend> createSystemMixer() {
    return createWinmmMixer();
}

} // namespace nuvok
