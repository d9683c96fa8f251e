#include "tools/capture/showfolder.h"

#include <unistd.h>

namespace capture {

bool hasShowShaders(const std::string& folder) {
    for (const char* name : {"vshader_mojs.vhl", "pshader_mojs.phl", "vshader_mojs2.vhl", "pshader_mojs2.phl"}) {
        if (access((folder + "/shaders/" + name).c_str(), R_OK) != 0) {
            return false;
        }
    }
    return true;
}

std::string findShowFolder(const std::string& workingFolder, const std::string& executable, std::string& looked) {
    if (hasShowShaders(workingFolder)) {
        return workingFolder;
    }
    std::string folder = executable.substr(0, executable.rfind('/'));
    looked = workingFolder + "/shaders and shaders/ in " + folder + " and every folder above it";
    while (!folder.empty()) {
        if (hasShowShaders(folder)) {
            return folder;
        }
        folder.erase(folder.rfind('/'));
    }
    return "";
}

} // namespace capture
