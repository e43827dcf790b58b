// The message pump where there is no window system: every operation runs the
// hook a caller has installed, or does nothing.
#include "platform/pump.h"

#include <utility>

namespace platform {
namespace {

PumpHooks& hooks()
{
    static PumpHooks installed;
    return installed;
}

}  // namespace

PumpHooks set_pump_hooks(PumpHooks replacement) { return std::exchange(hooks(), std::move(replacement)); }

void pump_messages(WindowHandle dialog)
{
    // A copy, so that a hook may replace the hooks while it runs.
    if (auto pump = hooks().pump)
        pump(dialog);
}

void send_progress(WindowHandle window, std::int32_t code, std::uint16_t* percent)
{
    if (auto progress = hooks().progress)
        progress(window, code, percent);
}

bool key_down(std::int32_t virtual_key)
{
    if (auto test = hooks().key_down)
        return test(virtual_key);
    return false;
}

}  // namespace platform
