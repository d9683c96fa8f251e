// Finds a face file among the fonts packaged with the page (the browser
// backend): the build copies the files that fontconfig resolves on the build
// machine for the fallback families into /fonts, so the page draws with the
// same glyphs as the desktop. Each file names its family and style itself,
// as fontconfig reads them.

#include "platform/gdi/fontface.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <dirent.h>
#include <string>
#include <strings.h>
#include <vector>

namespace platform::gdi {

namespace {

constexpr const char* kFontFolder = "/fonts";

struct PackagedFace {
    FaceFile file;
    bool bold = false;
    bool italic = false;
};

// The packaged faces, read once, in file name order.
const std::vector<PackagedFace>& packagedFaces() {
    static const std::vector<PackagedFace> faces = [] {
        std::vector<std::string> names;
        if (DIR* dir = opendir(kFontFolder)) {
            while (const dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".ttf") == 0) {
                    names.push_back(name);
                }
            }
            closedir(dir);
        }
        std::sort(names.begin(), names.end());
        std::vector<PackagedFace> list;
        FT_Library library = nullptr;
        if (FT_Init_FreeType(&library) != 0) {
            return list;
        }
        for (const std::string& name : names) {
            const std::string path = std::string(kFontFolder) + "/" + name;
            FT_Face face = nullptr;
            if (FT_New_Face(library, path.c_str(), 0, &face) != 0) {
                continue;
            }
            if (face->family_name != nullptr) {
                PackagedFace p;
                p.file.family = face->family_name;
                p.file.path = path;
                p.bold = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
                p.italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
                list.push_back(p);
            }
            FT_Done_Face(face);
        }
        FT_Done_FreeType(library);
        return list;
    }();
    return faces;
}

} // namespace

bool matchFamily(const std::string& family, int weight, bool italic, FaceFile& out, bool& exact) {
    const bool bold = weight >= 600;
    // Like fontconfig: the family first, then the closest style; with no
    // face of the family, the first upright regular face stands in.
    const PackagedFace* best = nullptr;
    int bestScore = -1;
    for (const PackagedFace& p : packagedFaces()) {
        const bool sameFamily = strcasecmp(p.file.family.c_str(), family.c_str()) == 0;
        const int score = (sameFamily ? 4 : 0) + (p.bold == bold ? 2 : 0) + (p.italic == italic ? 1 : 0);
        if (score > bestScore) {
            best = &p;
            bestScore = score;
        }
    }
    if (best == nullptr) {
        return false;
    }
    out = best->file;
    exact = bestScore >= 4;
    return true;
}

} // namespace platform::gdi
