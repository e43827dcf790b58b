#include "zip/extract_state.h"

namespace zip {

std::int32_t unshrink_entry() { return UZ_UNSUPPORTED; }

}  // namespace zip
