# Shared by the mingw-w64 toolchain files: set TABRIX_MINGW_TRIPLET and
# CMAKE_SYSTEM_PROCESSOR, then include this. Debian's win32-threads flavour of the compilers.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TABRIX_MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TABRIX_MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${TABRIX_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TABRIX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The packages and programs need no compiler runtime DLLs beside them.
foreach(kind IN ITEMS EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
endforeach()
