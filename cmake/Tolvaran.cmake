# Shared build rules: compiler flags of both builds, one library per folder,
# one test executable per test source.

# SSE2 arithmetic everywhere, no fused multiply-add: the native and the
# Windows build give the same bits for plain arithmetic.
add_compile_options(-msse2 -mfpmath=sse -ffp-contract=off -Wall -Wextra -Wno-unused-parameter)

if(WIN32)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)
  # No MinGW run-time DLLs beside the programs.
  add_link_options(-static -static-libgcc -static-libstdc++)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
  # Which Wine loader runs the build's programs (see wine-run.sh.in).
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(TOLVARAN_WINE_BITS 64)
  else()
    set(TOLVARAN_WINE_BITS 32)
    # The 32-bit programs ship for Windows 2000: the thread library linked
    # into them is the one tools/setup.sh built for it, searched before the
    # compiler's own (tools/winpthreads/README.md).
    if(NOT EXISTS ${TOLVARAN_WINPTHREADS_PREFIX}/lib/libpthread.a)
      message(FATAL_ERROR "winpthreads for Windows 2000 not found in '${TOLVARAN_WINPTHREADS_PREFIX}': run tools/setup.sh")
    endif()
    add_link_options(-L${TOLVARAN_WINPTHREADS_PREFIX}/lib)
  endif()
  # libpng, cross-built into TOLVARAN_PNG_PREFIX by tools/setup.sh, and the
  # zlib it needs: the DLLs go to one folder of the build that the Wine runner
  # searches and the run command copies beside the program.
  set(TOLVARAN_DLL_DIR ${CMAKE_BINARY_DIR}/dlls)
  file(MAKE_DIRECTORY ${TOLVARAN_DLL_DIR})
  if(TOLVARAN_PNG_PREFIX AND EXISTS ${TOLVARAN_PNG_PREFIX}/lib/libpng16.dll.a)
    add_library(tolvaran_png SHARED IMPORTED GLOBAL)
    set_target_properties(tolvaran_png PROPERTIES
      IMPORTED_IMPLIB ${TOLVARAN_PNG_PREFIX}/lib/libpng16.dll.a
      IMPORTED_LOCATION ${TOLVARAN_PNG_PREFIX}/bin/libpng16.dll
      INTERFACE_INCLUDE_DIRECTORIES ${TOLVARAN_PNG_PREFIX}/include)
    file(COPY ${TOLVARAN_PNG_PREFIX}/bin/libpng16.dll DESTINATION ${TOLVARAN_DLL_DIR})
    foreach(root IN LISTS CMAKE_FIND_ROOT_PATH)
      if(EXISTS ${root}/lib/zlib1.dll)
        file(COPY ${root}/lib/zlib1.dll DESTINATION ${TOLVARAN_DLL_DIR})
      endif()
    endforeach()
  endif()
  configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                 @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
else()
  find_package(PNG REQUIRED)
  add_library(tolvaran_png INTERFACE IMPORTED GLOBAL)
  target_link_libraries(tolvaran_png INTERFACE PNG::PNG)
  if(TOLVARAN_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
  endif()
  if(TOLVARAN_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
  endif()
endif()

# tolvaran_folder_library(<target> [SHARED] [DEPENDS <targets>...] [EXCLUDE <file names>...])
# Every .cpp and .c file of the folder belongs to the library; files ending in
# _win32 are built only for Windows, files ending in _posix only natively.
function(tolvaran_folder_library target)
  cmake_parse_arguments(ARG "" "" "DEPENDS;EXCLUDE" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  set(kept)
  foreach(src IN LISTS srcs)
    get_filename_component(name ${src} NAME)
    get_filename_component(stem ${src} NAME_WE)
    if(name IN_LIST ARG_EXCLUDE)
      continue()
    endif()
    if(WIN32 AND stem MATCHES "_posix$")
      continue()
    endif()
    if(NOT WIN32 AND stem MATCHES "_win32$")
      continue()
    endif()
    list(APPEND kept ${src})
  endforeach()
  if(NOT kept)
    # A folder whose code has not landed yet still gives a target to link.
    set(empty ${CMAKE_CURRENT_BINARY_DIR}/${target}_empty.cpp)
    file(WRITE ${empty} "// no sources yet\n")
    set(kept ${empty})
  endif()
  add_library(${target} STATIC ${kept})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
  if(ARG_DEPENDS)
    target_link_libraries(${target} PUBLIC ${ARG_DEPENDS})
  endif()
  set_property(GLOBAL APPEND PROPERTY TOLVARAN_FOLDER_LIBRARIES ${target})
endfunction()

# tolvaran_folder_tests(LIBS <targets>... [WINDOWS_ONLY <file names>...])
# One GoogleTest executable per tests/*_test.cpp, each one ctest test named
# <folder>.<file>. Files ending in _win32_test.cpp run only in the Windows
# build. Test data lives in tests/data and is found through TEST_DATA_DIR;
# TEST_SOURCE_DIR is the folder itself (git keeps no empty folders, so never
# reach the folder through tests/data/..).
function(tolvaran_folder_tests)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.cpp)
  file(RELATIVE_PATH folder ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  string(REPLACE "/" "_" prefix ${folder})
  foreach(src IN LISTS tests)
    get_filename_component(stem ${src} NAME_WE)
    if(NOT WIN32 AND stem MATCHES "_win32_test$")
      continue()
    endif()
    if(WIN32 AND stem MATCHES "_posix_test$")
      continue()
    endif()
    set(exe ${prefix}_${stem})
    add_executable(${exe} ${src})
    target_link_libraries(${exe} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
    target_include_directories(${exe} PRIVATE ${CMAKE_SOURCE_DIR})
    # The test sources themselves are compiled unoptimised: the code under
    # test keeps its build's flags, and the test files (GoogleTest's macros
    # expand heavily) compile two to three times faster this way.
    target_compile_options(${exe} PRIVATE -O0)
    target_compile_definitions(${exe} PRIVATE
      TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/tests/data/"
      TEST_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/")
    add_test(NAME ${folder}.${stem} COMMAND ${exe})
    set_tests_properties(${folder}.${stem} PROPERTIES TIMEOUT 600)
    if("${folder}:${stem}" IN_LIST TOLVARAN_THREAD_TESTS)
      set_tests_properties(${folder}.${stem} PROPERTIES LABELS threads)
    endif()
  endforeach()
endfunction()
