# vantle_library(NAME <target> DIRS <folder>... [LINKS <target>...])
# Builds a static library from the .cpp and .h files directly in the given folders
# (not their sub-folders: a sub-folder with views is a library of its own).
function(vantle_library)
  cmake_parse_arguments(ARG "" "NAME" "DIRS;LINKS" ${ARGN})
  set(sources)
  foreach(dir IN LISTS ARG_DIRS)
    file(GLOB found CONFIGURE_DEPENDS
      "${PROJECT_SOURCE_DIR}/${dir}/*.cpp" "${PROJECT_SOURCE_DIR}/${dir}/*.h")
    list(APPEND sources ${found})
  endforeach()
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  set(has_cpp FALSE)
  foreach(s IN LISTS sources)
    if(s MATCHES "\\.cpp$")
      set(has_cpp TRUE)
    endif()
  endforeach()
  if(NOT has_cpp)
    set(stub "${CMAKE_CURRENT_BINARY_DIR}/${ARG_NAME}_empty.cpp")
    file(WRITE "${stub}" "// no sources yet\n")
    list(APPEND sources "${stub}")
  endif()
  add_library(${ARG_NAME} STATIC ${sources})
  target_include_directories(${ARG_NAME} PUBLIC "${PROJECT_SOURCE_DIR}")
  target_link_libraries(${ARG_NAME} PUBLIC ${ARG_LINKS})
  # Linked into the application module (and the tests' programs), never exported from it:
  # the compiler calls and addresses the code directly instead of through the tables a
  # symbol that another library might replace needs, and the inline functions of the
  # headers stay out of the symbol table.
  set_target_properties(${ARG_NAME} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endfunction()

# vantle_test(NAME <target> DIRS <folder>... LINKS <target>...)
# One GoogleTest binary per library, run by ctest with the shared test main.
function(vantle_test)
  cmake_parse_arguments(ARG "" "NAME" "DIRS;LINKS" ${ARGN})
  set(sources)
  foreach(dir IN LISTS ARG_DIRS)
    file(GLOB found CONFIGURE_DEPENDS
      "${PROJECT_SOURCE_DIR}/${dir}/*.cpp" "${PROJECT_SOURCE_DIR}/${dir}/*.h")
    list(APPEND sources ${found})
  endforeach()
  if(NOT sources)
    return()
  endif()
  add_executable(${ARG_NAME} ${sources})
  target_link_libraries(${ARG_NAME} PRIVATE TestSupport ${ARG_LINKS})
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
  set_tests_properties(${ARG_NAME} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=0:detect_stack_use_after_return=0"
    TIMEOUT 600)
endfunction()

# vantle_module(NAME <name> SOURCES <file>... LINKS <target>...)
# A module of the application: "<name>.so", which AppModule loads at run time from lib/vantle
# beside the executables' folder (the build tree) or from the installed library folder. Only
# its extern "C" entry is visible from outside.
function(vantle_module)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;LINKS" ${ARGN})
  add_library(${ARG_NAME} MODULE ${ARG_SOURCES})
  target_include_directories(${ARG_NAME} PRIVATE "${PROJECT_SOURCE_DIR}")
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LINKS})
  set_target_properties(${ARG_NAME} PROPERTIES
    PREFIX "" SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY "${VANTLE_MODULE_BUILD_DIR}"
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  install(TARGETS ${ARG_NAME} LIBRARY DESTINATION "${VANTLE_MODULE_INSTALL_DIR}")
endfunction()

# vantle_check_version(<version>)
# Stops the configuration unless <version> is empty or a version the updater reads (see
# Platform/UpdaterVersion.h): up to eight dot-separated numbers of up to nine digits, then
# optionally "-" and a pre-release, "+" and build metadata, as semantic versioning spells them.
function(vantle_check_version version)
  if(version STREQUAL "")
    return()
  endif()
  set(identifiers "[0-9A-Za-z-]+([.][0-9A-Za-z-]+)*")
  if(NOT version MATCHES "^([0-9.]+)(-(${identifiers}))?([+](${identifiers}))?$")
    message(FATAL_ERROR "VANTLE_VERSION \"${version}\" is not a version the updater can read (such as 1.5.0 or 1.5.0-beta.1)")
  endif()
  set(core "${CMAKE_MATCH_1}")
  set(pre "${CMAKE_MATCH_3}")
  set(build "${CMAKE_MATCH_6}")
  foreach(tail IN ITEMS "${pre}" "${build}")
    string(REPLACE "." ";" tail_parts "${tail}")
    list(LENGTH tail_parts tail_count)
    if(tail_count GREATER 16)
      message(FATAL_ERROR "VANTLE_VERSION \"${version}\": more than sixteen identifiers after \"-\" or \"+\"")
    endif()
    foreach(part IN LISTS tail_parts)
      string(LENGTH "${part}" part_length)
      if(part_length GREATER 64)
        message(FATAL_ERROR "VANTLE_VERSION \"${version}\": an identifier of more than 64 characters")
      endif()
    endforeach()
  endforeach()
  string(REPLACE "." ";" numbers "${core}")
  list(LENGTH numbers count)
  if(core MATCHES "^[.]|[.]$|[.][.]" OR count GREATER 8)
    message(FATAL_ERROR "VANTLE_VERSION \"${version}\": at most eight numbers, parted by single dots")
  endif()
  foreach(number IN LISTS numbers)
    string(LENGTH "${number}" digits)
    if(digits GREATER 9)
      message(FATAL_ERROR "VANTLE_VERSION \"${version}\": a number of more than nine digits")
    endif()
  endforeach()
  string(REPLACE "." ";" parts "${pre}")
  foreach(part IN LISTS parts)
    if(part MATCHES "^0[0-9]+$")
      message(FATAL_ERROR "VANTLE_VERSION \"${version}\": a pre-release number with a leading zero")
    endif()
  endforeach()
endfunction()
