# The Windows build (WIN32), cross-compiled with mingw-w64 on Debian
# (cmake/mingw-w64-x86_64.cmake, tools/build-windows.sh).

# One folder holds the programs and everything they load.
set(CMAKE_INSTALL_BINDIR .)

# The compiler's runtime DLLs every program needs beside it.
set(QLARKW_MINGW_RUNTIME)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(path "${path}" REALPATH)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} has no ${dll}")
  endif()
  list(APPEND QLARKW_MINGW_RUNTIME "${path}")
endforeach()

# Qt's folder (bin/ holds its DLLs, plugins/ the platform and style plugins).
get_filename_component(QLARKW_QT_PREFIX "${Qt6_DIR}/../../.." ABSOLUTE)

# Built on Linux, run under Wine: the tests (CTest runs them through the
# emulator) and the programs by hand (build-win/wine-run.sh qlarkw.exe).
if(CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX)
  find_program(QLARKW_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  if(QLARKW_WINE)
    set(QLARKW_WINEPREFIX ${CMAKE_BINARY_DIR}/wine)
    # Wine's paths: the host's root is drive Z:.
    set(folders "${QLARKW_QT_PREFIX}/bin")
    foreach(dll IN LISTS QLARKW_MINGW_RUNTIME)
      get_filename_component(folder "${dll}" DIRECTORY)
      list(APPEND folders "${folder}")
    endforeach()
    list(REMOVE_DUPLICATES folders)
    set(QLARKW_WINEPATH)
    foreach(folder IN LISTS folders)
      string(REPLACE "/" "\\" folder "Z:${folder}")
      list(APPEND QLARKW_WINEPATH "${folder}")
    endforeach()
    # Qt's offscreen platform, which the tests draw on, reads the fonts of
    # one folder on Windows: the Japanese Gothic and the Latin sans-serif
    # the tests see on Linux.
    set(QLARKW_WINE_FONTS ${CMAKE_BINARY_DIR}/wine-fonts)
    file(MAKE_DIRECTORY ${QLARKW_WINE_FONTS})
    foreach(font opentype/ipafont-gothic/ipag.ttf opentype/ipafont-gothic/ipagp.ttf
        truetype/dejavu/DejaVuSans.ttf truetype/dejavu/DejaVuSans-Bold.ttf
        truetype/dejavu/DejaVuSansMono.ttf)
      get_filename_component(name ${font} NAME)
      if(EXISTS /usr/share/fonts/${font} AND NOT EXISTS ${QLARKW_WINE_FONTS}/${name})
        file(CREATE_LINK /usr/share/fonts/${font} ${QLARKW_WINE_FONTS}/${name} SYMBOLIC)
      endif()
    endforeach()
    string(REPLACE "/" "\\" QLARKW_WINE_FONTS "Z:${QLARKW_WINE_FONTS}")
    configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
      @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
      WORLD_READ WORLD_EXECUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
  else()
    message(STATUS "Wine not found: the Windows tests are built but cannot run here")
  endif()
endif()
