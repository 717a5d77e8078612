# Build helpers shared by every folder.

function(vanto_apply_sanitizers)
  if(VANTO_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
  elseif(VANTO_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
  endif()
endfunction()

# vanto_library(<target> [DEPS <targets...>])
# One static library per source folder; the folder's .cpp files are its sources.
function(vanto_library target)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# vanto_test(<target> [DEPS <targets...>] [LABELS <labels...>] [GLOB <pattern>]
#            [ENVIRONMENT <NAME=value...>])
# One GoogleTest program per test folder; each TEST becomes its own ctest entry.
# GLOB picks the folder's sources (default *.cpp); ENVIRONMENT is set for
# every entry.
function(vanto_test target)
  cmake_parse_arguments(ARG "" "GLOB" "DEPS;LABELS;ENVIRONMENT" ${ARGN})
  if(NOT ARG_GLOB)
    set(ARG_GLOB "*.cpp")
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_GLOB})
  if(NOT sources)
    return()
  endif()
  add_executable(${target} ${sources})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${target} PRIVATE ${ARG_DEPS} vanto_test_support GTest::gtest_main GTest::gmock)
  target_compile_definitions(${target} PRIVATE
    VANTO_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    VANTO_BINARY_DIR="${CMAKE_BINARY_DIR}"
    VANTO_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  set(properties TIMEOUT 120)
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  if(ARG_ENVIRONMENT)
    list(APPEND properties ENVIRONMENT "${ARG_ENVIRONMENT}")
  endif()
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
  if("threaded" IN_LIST ARG_LABELS)
    # The ThreadSanitizer build builds only what its tests need.
    add_dependencies(threaded_tests ${target})
  endif()
endfunction()
