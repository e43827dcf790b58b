// The program's own resources: data and pictures linked into the executable.
#pragma once

#include <string>

#include "platform/win/gdi.h"

namespace platform::win {

// The bytes of an RCDATA resource of the running program; throws when absent.
[[nodiscard]] std::string load_resource_data(const char* name);
// decode_picture of an RCDATA resource.
[[nodiscard]] Bitmap load_picture_resource(const char* name);

}  // namespace platform::win
