#include "platform/d3d9/gl.h"

namespace gl {

#define RIZA3V_GL_DEFINE(type, name) type name = nullptr;
RIZA3V_GL_FUNCTIONS(RIZA3V_GL_DEFINE)
RIZA3V_GL_DESKTOP_FUNCTIONS(RIZA3V_GL_DEFINE)
RIZA3V_GL_ES_FUNCTIONS(RIZA3V_GL_DEFINE)
#undef RIZA3V_GL_DEFINE

bool load(ProcAddress getProc, Api api, const char** missing) {
#define RIZA3V_GL_CLEAR(type, name) name = nullptr;
    RIZA3V_GL_DESKTOP_FUNCTIONS(RIZA3V_GL_CLEAR)
    RIZA3V_GL_ES_FUNCTIONS(RIZA3V_GL_CLEAR)
#undef RIZA3V_GL_CLEAR
#define RIZA3V_GL_LOAD(type, name)                                                                                     \
    name = reinterpret_cast<type>(getProc("gl" #name));                                                                \
    if (name == nullptr) {                                                                                             \
        *missing = "gl" #name;                                                                                         \
        return false;                                                                                                  \
    }
    RIZA3V_GL_FUNCTIONS(RIZA3V_GL_LOAD)
    if (api == Api::desktop33) {
        RIZA3V_GL_DESKTOP_FUNCTIONS(RIZA3V_GL_LOAD)
    } else {
        RIZA3V_GL_ES_FUNCTIONS(RIZA3V_GL_LOAD)
    }
#undef RIZA3V_GL_LOAD
    return true;
}

void clearDepth(float depth) {
    if (ClearDepth != nullptr) {
        ClearDepth(static_cast<double>(depth));
    } else {
        ClearDepthf(depth);
    }
}

void depthRange(float nearZ, float farZ) {
    if (DepthRange != nullptr) {
        DepthRange(static_cast<double>(nearZ), static_cast<double>(farZ));
    } else {
        DepthRangef(nearZ, farZ);
    }
}

} // namespace gl
