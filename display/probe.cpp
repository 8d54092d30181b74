#include "display/probe.h"

#include "display/backend.h"

namespace DisplayProbe {

Facts Describe() {
    DisplayBackend::PlatformFacts platform{};
    DisplayBackend::DescribePlatform(&platform);
    const DisplayBackend::PresentPacing pacing = DisplayBackend::DescribePresent();
    return Facts{platform.graphics,       platform.driver,       platform.renderer,
                 platform.videoDriver,    platform.windowSystem, platform.compositor,
                 platform.virtualDisplay, pacing.displayRetrace, pacing.description};
}

int32_t OpenKeyInjection(std::string* why) {
    const char* reason = "";
    if (DisplayBackend::KeyInjectionOpen(&reason)) return 1;
    *why = reason;
    return 0;
}

int32_t TypeKey(int32_t scanCode, int32_t down) {
    if (scanCode <= 0 || scanCode > 255) return 0;
    return DisplayBackend::InjectKey(static_cast<uint8_t>(scanCode), down);
}

void CloseKeyInjection() { DisplayBackend::KeyInjectionClose(); }

}  // namespace DisplayProbe
