# lumo_read_configurations(FILE <configurations.json> NAMES <var> ROUTES <var>)
#
# Reads the list of built-in configurations: a JSON array holding, for each
# configuration in canonical order, an object with its name, what it
# converts from and to (for the command's listing and the README), and the
# region routes it serves, as [from, to] pairs of region codes. Sets NAMES
# to the names in order and ROUTES to one "from:to:name" item per route.
# Stops CMake with a message naming the faulty entry when one lacks a
# field, a name repeats or has no data file beside the list, or a route goes
# from a region to itself or is served twice. Whether the codes are regions
# is checked where the routing table is built (src/engine/config/regions.cc).
# Changing the list reruns CMake.
function(lumo_read_configurations)
  cmake_parse_arguments(ARG "" "FILE;NAMES;ROUTES" "" ${ARGN})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${ARG_FILE}")
  file(READ "${ARG_FILE}" list_text)
  get_filename_component(config_dir "${ARG_FILE}" DIRECTORY)
  string(JSON type ERROR_VARIABLE error TYPE "${list_text}")
  if(error)
    message(FATAL_ERROR "${ARG_FILE}: ${error}")
  elseif(NOT type STREQUAL "ARRAY")
    message(FATAL_ERROR "${ARG_FILE}: not a JSON array of configurations")
  endif()
  string(JSON count LENGTH "${list_text}")
  set(names "")
  set(routes "")
  set(pairs "")
  if(count GREATER 0)
    math(EXPR last "${count} - 1")
    foreach(index RANGE ${last})
      math(EXPR number "${index} + 1")
      set(where "${ARG_FILE}: configuration number ${number}")
      foreach(field IN ITEMS name from to routes)
        string(JSON type ERROR_VARIABLE error TYPE "${list_text}" ${index} ${field})
        set(wanted STRING)
        if(field STREQUAL "routes")
          set(wanted ARRAY)
        endif()
        if(error OR NOT type STREQUAL wanted)
          string(TOLOWER "${wanted}" wanted)
          message(FATAL_ERROR "${where}: '${field}' is missing or not a JSON ${wanted}")
        endif()
      endforeach()
      string(JSON name GET "${list_text}" ${index} name)
      set(where "${ARG_FILE}: configuration '${name}'")
      if(NOT name MATCHES "^[a-z0-9]+$")
        message(FATAL_ERROR "${where}: the name is not lower-case letters and digits")
      endif()
      if(name IN_LIST names)
        message(FATAL_ERROR "${where}: the name is listed twice")
      endif()
      if(NOT EXISTS "${config_dir}/${name}.json")
        message(FATAL_ERROR "${where}: ${config_dir}/${name}.json is missing")
      endif()
      list(APPEND names "${name}")
      string(JSON route_count LENGTH "${list_text}" ${index} routes)
      if(route_count EQUAL 0)
        continue()
      endif()
      math(EXPR last_route "${route_count} - 1")
      foreach(route RANGE ${last_route})
        string(JSON pair GET "${list_text}" ${index} routes ${route})
        string(JSON type ERROR_VARIABLE error TYPE "${pair}")
        set(length 0)
        if(type STREQUAL "ARRAY")
          string(JSON length LENGTH "${pair}")
        endif()
        if(NOT length EQUAL 2)
          math(EXPR number "${route} + 1")
          message(FATAL_ERROR "${where}: route number ${number} is not a [from, to] pair")
        endif()
        string(JSON from GET "${pair}" 0)
        string(JSON to GET "${pair}" 1)
        foreach(code IN ITEMS "${from}" "${to}")
          if(NOT code MATCHES "^[a-z]+(-[a-z]+)*$")
            message(FATAL_ERROR "${where}: '${code}' is not a region code")
          endif()
        endforeach()
        if(from STREQUAL to)
          message(FATAL_ERROR "${where}: the route ${from} -> ${to} goes nowhere")
        endif()
        if("${from}:${to}" IN_LIST pairs)
          message(FATAL_ERROR "${where}: another configuration serves ${from} -> ${to}")
        endif()
        list(APPEND pairs "${from}:${to}")
        list(APPEND routes "${from}:${to}:${name}")
      endforeach()
    endforeach()
  endif()
  set(${ARG_NAMES} "${names}" PARENT_SCOPE)
  set(${ARG_ROUTES} "${routes}" PARENT_SCOPE)
endfunction()

# lumo_write_builtin_names(OUTPUT <header.h> CONFIGS <name>...
#                          SOURCE_DICTIONARIES <name>... GENERATED_DICTIONARIES <name>...)
#
# Writes the C++ header that carries the built-in names into the code, so
# that the lists of data/config/configurations.json and CMakeLists.txt are
# the only ones written by hand: the ConfigId enum (kS2T for "s2t") and
# kConfigNames, in the order given, and the names of the source and
# generated dictionaries. The header is rewritten only when a list changes.
function(lumo_write_builtin_names)
  cmake_parse_arguments(ARG "" "OUTPUT"
    "CONFIGS;SOURCE_DICTIONARIES;GENERATED_DICTIONARIES" ${ARGN})
  set(ids "")
  foreach(name IN LISTS ARG_CONFIGS)
    if(NOT name MATCHES "^[a-z0-9]+$")
      message(FATAL_ERROR "configuration name '${name}' is not lower-case letters and digits")
    endif()
    string(TOUPPER "${name}" id)
    string(APPEND ids "  k${id},\n")
  endforeach()
  set(arrays "")
  foreach(list IN ITEMS CONFIGS SOURCE_DICTIONARIES GENERATED_DICTIONARIES)
    set(names "")
    foreach(name IN LISTS ARG_${list})
      string(APPEND names "    \"${name}\",\n")
    endforeach()
    list(LENGTH ARG_${list} count)
    if(list STREQUAL "CONFIGS")
      set(array kConfigNames)
    elseif(list STREQUAL "SOURCE_DICTIONARIES")
      set(array kSourceDictionaryNames)
    else()
      set(array kGeneratedDictionaryNames)
    endif()
    string(APPEND arrays
      "inline constexpr std::array<std::string_view, ${count}> ${array} = {\n${names}};\n\n")
  endforeach()
  file(CONFIGURE OUTPUT "${ARG_OUTPUT}" @ONLY CONTENT [=[
// Generated by cmake/BuiltinNames.cmake from data/config/configurations.json
// and the lists in CMakeLists.txt; do not edit.
#ifndef LUMO_GENERATED_BUILTIN_NAMES_H_
#define LUMO_GENERATED_BUILTIN_NAMES_H_

#include <array>
#include <cstdint>
#include <string_view>

namespace lumo {

enum class ConfigId : std::uint8_t {
@ids@};

@arrays@}  // namespace lumo

#endif  // LUMO_GENERATED_BUILTIN_NAMES_H_
]=])
endfunction()

# lumo_write_builtin_routes(OUTPUT <header.h> ROUTES <from:to:name>...)
#
# Writes the C++ header that holds kBuiltinRoutes: each region route of
# lumo_read_configurations, with the ConfigId that serves it, in list order.
# The header is rewritten only when a route changes.
function(lumo_write_builtin_routes)
  cmake_parse_arguments(ARG "" "OUTPUT" "ROUTES" ${ARGN})
  set(rows "")
  foreach(route IN LISTS ARG_ROUTES)
    string(REPLACE ":" ";" parts "${route}")
    list(GET parts 0 from)
    list(GET parts 1 to)
    list(GET parts 2 name)
    string(TOUPPER "${name}" id)
    string(APPEND rows "    {\"${from}\", \"${to}\", ConfigId::k${id}},\n")
  endforeach()
  list(LENGTH ARG_ROUTES count)
  file(CONFIGURE OUTPUT "${ARG_OUTPUT}" @ONLY CONTENT [=[
// Generated by cmake/BuiltinNames.cmake from data/config/configurations.json; do not edit.
#ifndef LUMO_GENERATED_BUILTIN_ROUTES_H_
#define LUMO_GENERATED_BUILTIN_ROUTES_H_

#include <array>
#include <string_view>

#include "generated/builtin_names.h"

namespace lumo {

// A route: the configuration that converts from the region coded `from` to
// the one coded `to`.
struct BuiltinRoute {
  std::string_view from;
  std::string_view to;
  ConfigId config;
};

inline constexpr std::array<BuiltinRoute, @count@> kBuiltinRoutes = {{
@rows@}};

}  // namespace lumo

#endif  // LUMO_GENERATED_BUILTIN_ROUTES_H_
]=])
endfunction()
