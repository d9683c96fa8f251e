#include "tools/picgen/preview.h"

namespace picgen {

bool writePreview(const std::string&, int, int, const std::uint8_t*) {
    return true;
}

} // namespace picgen
