#include "platform/win/resources.h"

#include <windows.h>

#include <stdexcept>

#include "platform/win/application.h"

namespace platform::win {

std::string load_resource_data(const char* name)
{
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC resource = FindResourceA(module, name, MAKEINTRESOURCEA(10));  // RT_RCDATA
    if (resource == nullptr)
        throw std::runtime_error(std::string("Resource ") + name + " not found: " + error_text());
    const HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr)
        throw std::runtime_error(std::string("Resource ") + name + " not found: " + error_text());
    return std::string(static_cast<const char*>(bytes), SizeofResource(module, resource));
}

Bitmap load_picture_resource(const char* name)
{
    const std::string bytes = load_resource_data(name);
    return decode_picture(bytes.data(), bytes.size());
}

}  // namespace platform::win
