// A text that one language code sets. Localizing steps walk such a table in full, testing
// every row on its own (no else-chain), so a code that no row names keeps the text before it.
#pragma once

#include "host.h"

namespace termgate {

struct LocalizedText {
  TextView code;
  TextView text;
};

}  // namespace termgate
