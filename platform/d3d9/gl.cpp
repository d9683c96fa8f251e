#include "platform/d3d9/gl.h"

namespace platform::d3d9::gl {

#define RIZA3V_GL_DEFINE(type, name) type name = nullptr;
RIZA3V_GL_FUNCTIONS(RIZA3V_GL_DEFINE)
#undef RIZA3V_GL_DEFINE

bool load(ProcAddress getProc, const char** missing) {
#define RIZA3V_GL_LOAD(type, name)                                                                                     \
    name = reinterpret_cast<type>(getProc("gl" #name));                                                                \
    if (name == nullptr) {                                                                                             \
        *missing = "gl" #name;                                                                                         \
        return false;                                                                                                  \
    }
    RIZA3V_GL_FUNCTIONS(RIZA3V_GL_LOAD)
#undef RIZA3V_GL_LOAD
    return true;
}

} // namespace platform::d3d9::gl
