# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads:
# std::thread and std::mutex need them).
#
# The Qt for Windows (tools/qt-windows.sh) is named by QLARKW_QT_WINDOWS; its
# moc, rcc and uic are the host's (qt6-base-dev-tools, QT_HOST_PATH).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QLARKW_QT_WINDOWS)
if(QLARKW_QT_WINDOWS)
  # The root is the prefix and the search path its lib/cmake: CMake would
  # otherwise join the two into a path that is not there.
  list(PREPEND CMAKE_FIND_ROOT_PATH "${QLARKW_QT_WINDOWS}")
  list(PREPEND CMAKE_PREFIX_PATH "${QLARKW_QT_WINDOWS}/lib/cmake")
  set(QT_HOST_PATH /usr CACHE PATH "The host's Qt, for moc, rcc and uic")
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
endif()
