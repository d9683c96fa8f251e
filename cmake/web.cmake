# Settings of the browser build (Emscripten). Included by the top CMakeLists
# when RIZA3V_PLATFORM is web.

# The show's failures and its quit are C++ exceptions. Emscripten's own wasm
# exceptions cannot be combined with Asyncify (which the frame loop will need),
# so exceptions are handled through JavaScript.
add_compile_options(-fexceptions)
add_link_options(-fexceptions)

# emcmake runs the tree's programs (the generators of the resources) with
# "node --experimental-wasm-threads"; Node.js 20 refuses that flag, as threads
# are always on, so they run under the same node without it.
list(GET CMAKE_CROSSCOMPILING_EMULATOR 0 riza3v_node)
set(CMAKE_CROSSCOMPILING_EMULATOR ${riza3v_node})

# Executables of the tree that run under Node.js (the tools, the checks that
# compare them with the desktop build) read and write the host's files, grow
# their memory as needed and flush their output when main returns. They
# compile their module synchronously: the loader of Emscripten 3.1.6 would
# otherwise fetch() it, which Node.js 18 and later have but refuse for paths.
set(RIZA3V_WEB_NODE_LINK_OPTIONS
  -sNODERAWFS=1 -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1 -sENVIRONMENT=node -sWASM_ASYNC_COMPILATION=0)

# Libraries that scripts/web.sh compiles for the browser (FreeType) are
# installed under its deps folder; Emscripten's toolchain looks for libraries
# only below its find roots.
set(RIZA3V_WEB_DEPS ${PROJECT_BINARY_DIR}/deps CACHE PATH "Libraries compiled for the browser build")
list(APPEND CMAKE_FIND_ROOT_PATH ${RIZA3V_WEB_DEPS}/freetype)

# The platform tells resource numbers from names by the pointer's value: below
# 65,536 it is a number (IS_INTRESOURCE). WebAssembly's static data would
# start at 1,024, so string constants (dialog texts, class names) would pass
# for numbers: the data starts at 64 KiB instead.
add_link_options(-sGLOBAL_BASE=65536)

# Emscripten 3.1.6's C++ library has no std::bit_cast; a forced include
# supplies it from the compiler's builtin (see the header).
add_compile_options("SHELL:-include ${CMAKE_CURRENT_LIST_DIR}/webcompat/bitcast.h")
