# Provides the target nlohmann_json::nlohmann_json for the JSON headers.
#
# A copy CMake finds (a system package, or one named by nlohmann_json_DIR)
# comes first. Otherwise the headers come from the nlohmann-json package on
# the Python package index, a build requirement in pyproject.toml, so that
# `pip install` needs nothing beyond a compiler and Python. That package
# ships the headers only, under nlohmann_json/include, with no CMake files;
# its directory is asked of the Python that runs the build, and
# LUMO_JSON_INCLUDE_DIR can name another.
find_package(nlohmann_json 3.10 QUIET)
if(nlohmann_json_FOUND)
  message(STATUS "JSON headers: nlohmann_json ${nlohmann_json_VERSION} found by CMake")
  return()
endif()

find_package(Python 3.9 COMPONENTS Interpreter)
set(json_hint "")
if(Python_Interpreter_FOUND)
  # find_spec locates the package without importing it.
  string(CONCAT find_json_package
    "import importlib.util as u; s = u.find_spec('nlohmann_json'); "
    "print(s.submodule_search_locations[0] if s else '')")
  execute_process(
    COMMAND ${Python_EXECUTABLE} -c "${find_json_package}"
    OUTPUT_VARIABLE json_package_dir
    OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE json_status)
  if(json_status EQUAL 0 AND json_package_dir)
    set(json_hint ${json_package_dir}/include)
  endif()
endif()
find_path(LUMO_JSON_INCLUDE_DIR nlohmann/json.hpp HINTS ${json_hint} NO_DEFAULT_PATH)
if(NOT LUMO_JSON_INCLUDE_DIR)
  message(FATAL_ERROR
    "The JSON headers were not found: install the nlohmann-json package for the Python "
    "that runs the build (pip install nlohmann-json), or a system nlohmann_json, or set "
    "LUMO_JSON_INCLUDE_DIR to the directory holding nlohmann/json.hpp.")
endif()
message(STATUS "JSON headers: ${LUMO_JSON_INCLUDE_DIR}")
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${LUMO_JSON_INCLUDE_DIR})
