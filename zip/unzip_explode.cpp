#include "zip/extract_state.h"

namespace zip {

std::int32_t explode_entry() { return UZ_UNSUPPORTED; }

}  // namespace zip
