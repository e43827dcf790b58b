// Owners of GDI objects and device contexts, and pictures decoded by the
// system's GDI+.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace platform::win {

// An owned pen, brush, font or bitmap.
struct GdiObjectDelete {
    void operator()(void* object) const { DeleteObject(static_cast<HGDIOBJ>(object)); }
};
template <class Handle>
using GdiObject = std::unique_ptr<std::remove_pointer_t<Handle>, GdiObjectDelete>;

using Font = GdiObject<HFONT>;
using Brush = GdiObject<HBRUSH>;

// A device-independent picture with its size.
class Bitmap {
public:
    Bitmap() = default;
    Bitmap(HBITMAP handle, int width, int height) : handle_(handle), width_(width), height_(height) {}

    [[nodiscard]] HBITMAP get() const { return handle_.get(); }
    [[nodiscard]] int width() const { return width_; }
    [[nodiscard]] int height() const { return height_; }
    explicit operator bool() const { return static_cast<bool>(handle_); }

private:
    GdiObject<HBITMAP> handle_;
    int width_ = 0;
    int height_ = 0;
};

// A device context that puts back what select() put into it before it goes,
// so that nobody writes the select-and-restore by hand: the screen's, to
// measure text, or one in memory, over a picture the caller owns (to copy it
// from) or over a surface of its own (to draw off screen).
class DeviceContext {
public:
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;
    // The surface goes after the DC, once nothing holds it.
    ~DeviceContext()
    {
        if (previous_ != nullptr)
            SelectObject(dc_, previous_);
        if (in_memory_)
            DeleteDC(dc_);
        else
            ReleaseDC(nullptr, dc_);
    }
    [[nodiscard]] HDC get() const { return dc_; }
    void select(HGDIOBJ object)
    {
        const HGDIOBJ previous = SelectObject(dc_, object);
        previous_ = previous_ != nullptr ? previous_ : previous;
    }

protected:
    DeviceContext(HDC dc, bool in_memory, HBITMAP surface = nullptr) : surface_(surface), dc_(dc), in_memory_(in_memory)
    {}
    GdiObject<HBITMAP> surface_;  // only what this DC made itself

private:
    HDC dc_;
    bool in_memory_;
    HGDIOBJ previous_ = nullptr;
};

class ScreenDC : public DeviceContext {
public:
    ScreenDC() : DeviceContext(GetDC(nullptr), false) {}
};

class MemoryDC : public DeviceContext {
public:
    MemoryDC(HDC like, HBITMAP picture) : DeviceContext(CreateCompatibleDC(like), true) { select(picture); }
    MemoryDC(HDC like, int width, int height)
        : DeviceContext(CreateCompatibleDC(like), true, CreateCompatibleBitmap(like, width, height))
    {
        select(surface_.get());
    }
};

// A font of the given face; the height is in pixels at 96 DPI and scaled.
[[nodiscard]] Font make_font(const std::string& face, int pixel_height, bool bold = false);

// Decodes a JPEG (or any format GDI+ reads); throws std::runtime_error when
// the data is no picture.
[[nodiscard]] Bitmap decode_picture(std::string_view data);

}  // namespace platform::win
