# The browser build (emcmake cmake; scripts/web.sh): the same sources as the native
# program against the libraries scripts/web-deps.sh builds from Debian's source packages
# (PKG_CONFIG_LIBDIR and CMAKE_FIND_ROOT_PATH point at its prefix). WebGL 2 stands for an
# OpenGL ES 3.0 context; src/platform/web/ holds the headers that map the desktop's GL
# loader onto it. Sets CORE_DEPS (what every subsystem links) and CORE_WEB_EXCLUDED (the
# native-only sources); files named *_web.cpp are built here only.
find_package(PkgConfig REQUIRED)
if(NOT DEFINED ENV{PKG_CONFIG_LIBDIR})
  message(FATAL_ERROR "PKG_CONFIG_LIBDIR is not set: run scripts/web.sh (or eval \"$(scripts/web-deps.sh --env)\")")
endif()
get_filename_component(CORE_WEB_PREFIX "$ENV{PKG_CONFIG_LIBDIR}/../.." ABSOLUTE)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip zlib)
pkg_check_modules(VORBIS REQUIRED IMPORTED_TARGET vorbisfile vorbisenc vorbis ogg)
pkg_check_modules(KISSFFT REQUIRED IMPORTED_TARGET kissfft-float)
pkg_check_modules(IMGUI REQUIRED IMPORTED_TARGET imgui)
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng16)
pkg_check_modules(JPEG REQUIRED IMPORTED_TARGET libjpeg)
pkg_check_modules(GLU REQUIRED IMPORTED_TARGET glutess)
pkg_check_modules(STB REQUIRED IMPORTED_TARGET stb)
foreach(lib squish meshoptimizer boost_serialization)
  find_library(CORE_WEB_${lib} ${lib} PATHS ${CORE_WEB_PREFIX}/lib NO_DEFAULT_PATH REQUIRED)
endforeach()
add_library(core_web_libs INTERFACE)
target_include_directories(core_web_libs INTERFACE ${CMAKE_SOURCE_DIR}/src/platform/web ${CORE_WEB_PREFIX}/include)
target_link_libraries(core_web_libs INTERFACE
  ${CORE_WEB_squish} ${CORE_WEB_meshoptimizer} ${CORE_WEB_boost_serialization})
# Exceptions on, as the native build (Boost.Serialization throws; the loaders catch
# bad_alloc; a thread that cannot start throws).
target_compile_options(core_web_libs INTERFACE -fexceptions)
target_link_options(core_web_libs INTERFACE -fexceptions)

set(CORE_DEPS
  core_web_libs PkgConfig::SDL2 PkgConfig::LIBZIP PkgConfig::VORBIS PkgConfig::KISSFFT PkgConfig::IMGUI
  PkgConfig::GLU PkgConfig::FREETYPE PkgConfig::PNG PkgConfig::JPEG PkgConfig::STB)

# Native-only sources: the GLX/EGL machine probe, the settings dialog's window (the page's
# start screen stands for it), inotify, fontconfig and the image library.
set(CORE_WEB_EXCLUDED
  ${CMAKE_SOURCE_DIR}/src/platform/platform_probe.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/dialog_imgui.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/file_watch.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/font_lookup.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/platform_native.cpp
  ${CMAKE_SOURCE_DIR}/src/resources/picture_library.cpp)

# The program as coredemo.js + coredemo.wasm, a factory the page calls once per run
# (createCoreModule): it fetches data.zip itself, writes it into the in-memory file
# system and calls main with the arguments of its start screen.
function(core_web_program target)
  set_target_properties(${target} PROPERTIES SUFFIX ".js")
  # SDL's audio calls these JavaScript helpers; their names start with '$', which CMake's
  # escaping of link options mangles: a response file carries them.
  set(rsp ${CMAKE_BINARY_DIR}/web-link.rsp)
  file(WRITE ${rsp} "-sDEFAULT_LIBRARY_FUNCS_TO_INCLUDE=[$autoResumeAudioContext,$dynCall]\n")
  target_link_options(${target} PRIVATE "@${rsp}")
  target_link_options(${target} PRIVATE
    -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2
    -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=134217728
    -sMODULARIZE=1 -sEXPORT_NAME=createCoreModule -sINVOKE_RUN=0 -sEXIT_RUNTIME=0
    "-sEXPORTED_RUNTIME_METHODS=['FS','callMain']"
    -sENVIRONMENT=web)
endfunction()
