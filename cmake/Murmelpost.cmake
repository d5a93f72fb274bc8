# Small helpers so that adding a source or a test file needs no CMake edit:
# every folder's .cpp files form one library, every test folder one executable.

# murmel_library(<target> <folder> [DEPS ...] [PUBLIC_INCLUDE ...] [PRIVATE_INCLUDE ...]
#                [DEFINES ...]): a static library from <folder>/*.cpp.
function(murmel_library target folder)
  cmake_parse_arguments(ARG "" "" "DEPS;PUBLIC_INCLUDE;PRIVATE_INCLUDE;DEFINES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${folder}/*.cpp)
  if(NOT sources)
    message(FATAL_ERROR "murmel_library(${target}): no sources in ${folder}")
  endif()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PRIVATE ${ARG_PRIVATE_INCLUDE})
  target_compile_definitions(${target} PRIVATE ${ARG_DEFINES})
  target_link_libraries(${target} PUBLIC ${ARG_DEPS})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR} ${ARG_PUBLIC_INCLUDE})
endfunction()

# murmel_test(<target> <folder> [DEPS ...] [ENV ...] [LABELS ...]): one GoogleTest
# executable from <folder>/*_test.cpp, registered with CTest as one suite.
function(murmel_test target folder)
  cmake_parse_arguments(ARG "" "" "DEPS;ENV;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${folder}/*_test.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main
                                          GTest::gmock)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${target} COMMAND ${target})
  # The time limit is set once for every test, in tests/CMakeLists.txt.
  set_tests_properties(${target} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ARG_ENV}"
                       LABELS "${ARG_LABELS}")
endfunction()
