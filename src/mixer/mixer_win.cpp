// The mixer on Windows: winmm's first mixer device. Every structure is the
// platform's own, sized with sizeof, and lives only for its call.
#include "mixer/mixerbackend.h"

#include <windows.h>

#include <mmsystem.h>

namespace nuvok {
namespace {

// The handle flag tells winmm that the object is an open handle rather than a
// device number.
constexpr DWORD kByHandle = MIXER_OBJECTF_HMIXER;

class WinmmMixer final : public MixerBackend {
public:
    ~WinmmMixer() override { close(); }

    bool open() override {
        close();
        HMIXER handle = nullptr;
        if (mixerOpen(&handle, 0, 0, 0, MIXER_OBJECTF_MIXER) != MMSYSERR_NOERROR)
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
        if (mixerGetLineInfoA(object(), &line, kByHandle | MIXER_GETLINEINFOF_COMPONENTTYPE) !=
            MMSYSERR_NOERROR)
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
        if (mixerGetLineControlsA(object(), &request,
                                  kByHandle | MIXER_GETLINECONTROLSF_ONEBYTYPE) != MMSYSERR_NOERROR)
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
        if (mixerGetControlDetailsA(object(), &details,
                                    kByHandle | MIXER_GETCONTROLDETAILSF_VALUE) != MMSYSERR_NOERROR)
            return std::nullopt;
        return static_cast<std::int32_t>(value.dwValue);
    }

    bool writeValue(std::uint32_t controlId, std::int32_t newValue) override {
        if (!m_handle)
            return false;
        MIXERCONTROLDETAILS_UNSIGNED value{};
        value.dwValue = static_cast<DWORD>(newValue);
        MIXERCONTROLDETAILS details = describe(controlId, value);
        return mixerSetControlDetails(object(), &details,
                                      kByHandle | MIXER_SETCONTROLDETAILSF_VALUE) ==
               MMSYSERR_NOERROR;
    }

    void close() override {
        if (m_handle)
            mixerClose(m_handle);
        m_handle = nullptr;
    }

private:
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

    HMIXER m_handle = nullptr;
};

} // namespace

std::unique_ptr<MixerBackend> createSystemMixer() {
    return std::make_unique<WinmmMixer>();
}

} // namespace nuvok
