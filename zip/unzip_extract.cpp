#include "zip/extract_state.h"
