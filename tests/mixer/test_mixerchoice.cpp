#include "support/check.h"

#include "mixer/mixerbackend.h"
#include "mixer/mixerchoice.h"

#include <string>
#include <vector>

using nuvok::MixerElementCaps;
using nuvok::VolumeSide;

namespace {

// p: playback volume, c: capture volume, -: neither (a switch only)
MixerElementCaps el(const std::string& name, const std::string& caps) {
    return {name, caps.find('p') != std::string::npos, caps.find('c') != std::string::npos};
}

} // namespace

TEST_CASE("the element that stands for a line") {
    struct Row {
        std::string name;
        std::vector<MixerElementCaps> elements;
        std::uint32_t componentType;
        int expectedIndex; // -1: none
        VolumeSide expectedSide;
    };
    const auto P = VolumeSide::Playback;
    const auto C = VolumeSide::Capture;
    const std::uint32_t spk = nuvok::kComponentSpeakers;
    const std::uint32_t mic = nuvok::kComponentMicrophone;
    const std::vector<Row> rows = {
        {"sound server", {el("Master", "p"), el("Capture", "c")}, spk, 0, P},
        {"Master wins over earlier PCM", {el("PCM", "p"), el("Master", "p")}, spk, 1, P},
        {"no Master: PCM", {el("Headphone", "p"), el("PCM", "p"), el("Speaker", "p")}, spk, 1, P},
        {"no Master or PCM: Speaker", {el("Headphone", "p"), el("Speaker", "p")}, spk, 1, P},
        {"Master without volume", {el("Master", "-"), el("PCM", "p")}, spk, 1, P},
        {"first with a playback volume",
         {el("Capture", "c"), el("Beep", "-"), el("Headphone", "p"), el("Front", "p")},
         spk,
         2,
         P},
        {"nothing to play on", {el("Capture", "c"), el("Beep", "-")}, spk, -1, P},
        {"empty mixer", {}, spk, -1, P},
        {"Capture for the microphone",
         {el("Master", "p"), el("Mic", "pc"), el("Capture", "c")},
         mic,
         2,
         C},
        {"no Capture: Mic's capture volume", {el("Master", "p"), el("Mic", "pc")}, mic, 1, C},
        {"Mic with a playback volume only", {el("Master", "p"), el("Mic", "p")}, mic, 1, P},
        {"Capture without capture volume", {el("Capture", "-"), el("Mic", "c")}, mic, 1, C},
        {"no microphone", {el("Master", "p"), el("PCM", "p")}, mic, -1, P},
        {"other component types have no element", {el("Master", "p")}, 0x1008, -1, P},
    };
    for (const Row& row : rows) {
        const auto choice = nuvok::chooseVolumeElement(row.elements, row.componentType);
        const int index = choice ? static_cast<int>(choice->index) : -1;
        if (index != row.expectedIndex || (choice && choice->side != row.expectedSide))
            nuvok::test::fail(__FILE__, __LINE__,
                              row.name + ": got index " + std::to_string(index));
    }
}
