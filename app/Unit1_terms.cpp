// The terms of use: reading and storing the acknowledgement, unlocking the
// button once the text has been read to its end, and the locked tabs.
#include "app/Unit1.h"

#include "platform/win/application.h"
#include "platform/win/gdi.h"
#include "platform/win/registry.h"

using platform::win::RegistryError;
using platform::win::RegistryKey;

std::string TForm1::TermsText()
{
    const std::string stored = platform::win::load_resource_data("TERMS");
    std::string text;
    text.reserve(stored.size() + stored.size() / 32);
    for (char c : stored) {
        if (c == '\r')
            continue;
        if (c == '\n')
            text += '\r';
        text += c;
    }
    return text;
}

bool TForm1::ReadTermsAccepted()
{
    const auto key = RegistryKey::open_current_user(RegistryKeyPath);
    if (!key)
        return false;
    try {
        return key->read_bool("imuterms");
    } catch (const RegistryError&) {
        // Missing, or not a 32-bit integer: not acknowledged, and nothing shown.
        return false;
    }
}

void TForm1::Timer1Timer(Object&)
{
    const int count = Memo3.line_count();
    const int first = Memo3.first_visible_line();
    if (count <= first + VisibleLineCount(Memo3)) {
        Button5.set_enabled(true);
        Timer1.set_enabled(false);
    }
}

int TForm1::VisibleLineCount(platform::win::Memo& memo)
{
    const RECT area = memo.formatting_rect();
    platform::win::ScreenDC screen;
    screen.select(memo.font());
    TEXTMETRICA metrics{};
    GetTextMetricsA(screen.get(), &metrics);
    if (metrics.tmHeight <= 0)
        return 0;
    return (area.bottom - area.top) / metrics.tmHeight;
}

void TForm1::Button5Click(Object&)
{
    if (auto key = RegistryKey::open_current_user(RegistryKeyPath))
        key->write_bool("imuterms", true);
    // Without a key the acknowledgement holds for this process only.
    TermsAccepted = true;
    PageControl1.set_active_page_index(1);
    // Drawn now and in one piece: left to the queue, the page's windowed
    // controls would show before the pictures and buttons the page draws.
    PageControl1.repaint();
}

void TForm1::PageControl1Changing(Object&, bool& AllowChange)
{
    if (!TermsAccepted)
        AllowChange = false;
}
