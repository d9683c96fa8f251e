// Finds a face file through fontconfig (the desktop backend).

#include "platform/gdi/fontface.h"

#include <fontconfig/fontconfig.h>

#include <strings.h>

namespace platform::gdi {

namespace {

// fontconfig's weight scale for the GDI weight: only regular and bold faces
// are told apart.
int fcWeight(int weight) {
    return weight >= 600 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR;
}

} // namespace

bool matchFamily(const std::string& family, int weight, bool italic, FaceFile& out, bool& exact) {
    if (FcInit() == FcFalse) {
        return false;
    }
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, fcWeight(weight));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) {
        return false;
    }
    FcChar8* file = nullptr;
    FcChar8* matchedFamily = nullptr;
    int index = 0;
    bool ok = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
              FcPatternGetString(match, FC_FAMILY, 0, &matchedFamily) == FcResultMatch;
    if (ok) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        out.path = reinterpret_cast<const char*>(file);
        out.family = reinterpret_cast<const char*>(matchedFamily);
        out.index = index;
        exact = strcasecmp(out.family.c_str(), family.c_str()) == 0;
    }
    FcPatternDestroy(match);
    return ok;
}

} // namespace platform::gdi
