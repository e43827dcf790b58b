#include "platform/win/gdi.h"

#include <objbase.h>
#include <objidl.h>

#include <gdiplus.h>

#include <memory>
#include <stdexcept>

#include "platform/win/application.h"

namespace platform::win {

namespace {

// GDI+ stays up for the life of the process once a picture was decoded.
void start_gdiplus()
{
    static const bool started = [] {
        ULONG_PTR token = 0;
        Gdiplus::GdiplusStartupInput input;
        return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }();
    if (!started)
        throw std::runtime_error("GDI+ is not available");
}

struct StreamRelease {
    void operator()(IStream* stream) const { stream->Release(); }
};

}  // namespace

Font make_font(const std::string& face, int pixel_height, bool bold)
{
    LOGFONTA description{};
    description.lfHeight = -scale(pixel_height);
    description.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    description.lfCharSet = DEFAULT_CHARSET;
    description.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynA(description.lfFaceName, face.c_str(), LF_FACESIZE);
    return Font(CreateFontIndirectA(&description));
}

Bitmap decode_picture(std::string_view data)
{
    start_gdiplus();
    // A stream over a copy in global memory, which the stream frees: Windows
    // XP's shlwapi exports SHCreateMemStream by ordinal only.
    IStream* opened = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &opened)))
        throw std::runtime_error("Out of memory");
    const std::unique_ptr<IStream, StreamRelease> stream(opened);
    const LARGE_INTEGER start{};
    if (FAILED(stream->Write(data.data(), static_cast<ULONG>(data.size()), nullptr)) ||
        FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)))
        throw std::runtime_error("Out of memory");
    Gdiplus::GpBitmap* picture = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromStream(stream.get(), &picture) != Gdiplus::Ok || picture == nullptr)
        throw std::runtime_error("Bitmap image is not valid");
    UINT width = 0;
    UINT height = 0;
    HBITMAP handle = nullptr;
    Gdiplus::DllExports::GdipGetImageWidth(picture, &width);
    Gdiplus::DllExports::GdipGetImageHeight(picture, &height);
    const auto status = Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap(picture, &handle, 0xFFFFFFFF);
    Gdiplus::DllExports::GdipDisposeImage(picture);
    if (status != Gdiplus::Ok || handle == nullptr)
        throw std::runtime_error("Bitmap image is not valid");
    return Bitmap(handle, static_cast<int>(width), static_cast<int>(height));
}

}  // namespace platform::win
