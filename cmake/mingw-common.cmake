# What both cross toolchains share; each sets MINGW_PREFIX first and includes this.
set(CMAKE_C_COMPILER ${MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# No MinGW runtime DLL may travel with the programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT "-s")

# Reproducible programs: two builds of one commit from any two folders are byte-identical.
# No link time stamp (the checksum field stays zero: nothing here sets it), and no build
# folder in any string the compiler keeps (assertions, __FILE__, debug names).
set(CMAKE_EXE_LINKER_FLAGS_INIT "${CMAKE_EXE_LINKER_FLAGS_INIT} -Wl,--no-insert-timestamp")
get_filename_component(IMAGEPREP_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(IMAGEPREP_PREFIX_MAP
    "-ffile-prefix-map=${IMAGEPREP_SOURCE_ROOT}=. -fmacro-prefix-map=${IMAGEPREP_SOURCE_ROOT}=.")

# Each function and object in its own section, so that the linker drops those nothing
# reaches. Without this the programs outgrow their size limit with newer compilers.
set(IMAGEPREP_SECTIONS "-ffunction-sections -fdata-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${CMAKE_EXE_LINKER_FLAGS_INIT} -Wl,--gc-sections")

set(CMAKE_C_FLAGS_INIT "${IMAGEPREP_PREFIX_MAP} ${IMAGEPREP_SECTIONS}")
set(CMAKE_CXX_FLAGS_INIT "${IMAGEPREP_PREFIX_MAP} ${IMAGEPREP_SECTIONS}")
