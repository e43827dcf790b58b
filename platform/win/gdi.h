// Owners of GDI objects, and pictures decoded by the system's GDI+.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <utility>

namespace platform::win {

template <class Handle>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(Handle handle) : handle_(handle) {}
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    GdiObject(GdiObject&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    GdiObject& operator=(GdiObject&& other) noexcept
    {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    ~GdiObject() { reset(); }

    void reset()
    {
        if (handle_ != nullptr)
            DeleteObject(handle_);
        handle_ = nullptr;
    }
    [[nodiscard]] Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    Handle handle_ = nullptr;
};

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

// A font of the given face; the height is in pixels at 96 DPI and scaled.
[[nodiscard]] Font make_font(const std::string& face, int pixel_height, bool bold = false);

// Decodes a JPEG (or any format GDI+ reads); throws std::runtime_error when
// the data is no picture.
[[nodiscard]] Bitmap decode_picture(const void* data, std::size_t size);
// The bytes of an RCDATA resource of the running program; throws when absent.
[[nodiscard]] std::string load_resource_data(const char* name);
// decode_picture of an RCDATA resource.
[[nodiscard]] Bitmap load_picture_resource(const char* name);

}  // namespace platform::win
