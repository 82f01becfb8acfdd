# lumo_embed_texts(OUTPUT <file.cc> DICTIONARIES <name=path>... CONFIGS <name=path>...)
#
# Writes a C++ source that places every listed file, byte for byte, in
# read-only data, and defines the tables of dict/embedded_file.h over them.
#
# With an assembler (GCC, Clang), the source places each file with .incbin,
# in the read-only section of the target's object format: ELF, PE/COFF or
# Mach-O. It is rewritten only when the list changes; rebuilding when a
# file's content changes is left to OBJECT_DEPENDS, set here on it.
#
# Without one (MSVC has no inline assembly), or with LUMO_EMBED_AS_ARRAYS,
# the build writes the source with every file as an array of bytes, running
# this file as a script (below) whenever a file changes.
if(NOT CMAKE_SCRIPT_MODE_FILE)
  option(LUMO_EMBED_AS_ARRAYS "Embed the texts as generated arrays of bytes instead of .incbin"
         ${MSVC})
endif()

# The assembler's lines for the target's object format: those that open the
# data's section and go back to the code's (the section stack is ELF's
# alone), and how a symbol is named and kept out of the export table.
function(lumo_embedding_format open_var close_var prefix_var hide_var)
  set(${close_var} ".text" PARENT_SCOPE)
  if(APPLE)
    set(${open_var} ".section __TEXT,__const" PARENT_SCOPE)
    set(${prefix_var} "_" PARENT_SCOPE)  # C names carry a leading underscore
    set(${hide_var} ".private_extern" PARENT_SCOPE)
  elseif(WIN32)
    set(${open_var} ".section .rdata,\\\"dr\\\"" PARENT_SCOPE)
    # 32-bit Windows prefixes C names with an underscore; COFF has no hidden
    # symbols, and a static program or DLL exports only what it marks.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(${prefix_var} "_" PARENT_SCOPE)
    else()
      set(${prefix_var} "" PARENT_SCOPE)
    endif()
    set(${hide_var} "" PARENT_SCOPE)
  else()
    set(${open_var} ".pushsection .rodata.lumo_embedded,\\\"a\\\",@progbits" PARENT_SCOPE)
    set(${close_var} ".popsection" PARENT_SCOPE)
    set(${prefix_var} "" PARENT_SCOPE)
    set(${hide_var} ".hidden" PARENT_SCOPE)
  endif()
endfunction()

# The tables of dict/embedded_file.h over the symbols lumo_embedded_<i>,
# given the rows of each kind.
function(lumo_embedded_tables out dictionary_rows dictionary_count config_rows config_count)
  set(content "namespace lumo {\n\n")
  string(APPEND content
    "extern const EmbeddedFile kEmbeddedDictionaries[] = {\n${dictionary_rows}};\n")
  string(APPEND content
    "extern const std::size_t kEmbeddedDictionaryCount = ${dictionary_count};\n\n")
  string(APPEND content "extern const EmbeddedFile kEmbeddedConfigs[] = {\n${config_rows}};\n")
  string(APPEND content
    "extern const std::size_t kEmbeddedConfigCount = ${config_count};\n\n}  // namespace lumo\n")
  set(${out} "${content}" PARENT_SCOPE)
endfunction()

set(LUMO_EMBED_TEXTS_SCRIPT ${CMAKE_CURRENT_LIST_FILE})

function(lumo_embed_texts)
  cmake_parse_arguments(ARG "" "OUTPUT" "DICTIONARIES;CONFIGS" ${ARGN})
  set(all_paths "")
  foreach(kind IN ITEMS DICTIONARIES CONFIGS)
    foreach(item IN LISTS ARG_${kind})
      string(FIND "${item}" "=" eq)
      math(EXPR start "${eq} + 1")
      string(SUBSTRING "${item}" ${start} -1 path)
      list(APPEND all_paths "${path}")
    endforeach()
  endforeach()
  if(LUMO_EMBED_AS_ARRAYS)
    # The lists travel to the script joined by "|".
    string(REPLACE ";" "|" dictionaries "${ARG_DICTIONARIES}")
    string(REPLACE ";" "|" configs "${ARG_CONFIGS}")
    add_custom_command(
      OUTPUT "${ARG_OUTPUT}"
      COMMAND ${CMAKE_COMMAND} "-DOUTPUT=${ARG_OUTPUT}" "-DDICTIONARIES=${dictionaries}"
              "-DCONFIGS=${configs}" -P "${LUMO_EMBED_TEXTS_SCRIPT}"
      DEPENDS ${all_paths} "${LUMO_EMBED_TEXTS_SCRIPT}"
      COMMENT "Writing the embedded texts as arrays of bytes"
      VERBATIM)
    return()
  endif()

  lumo_embedding_format(open close prefix hide)
  set(asm "")
  set(decls "")
  set(index 0)
  foreach(kind IN ITEMS DICTIONARIES CONFIGS)
    set(rows_${kind} "")
    foreach(item IN LISTS ARG_${kind})
      string(FIND "${item}" "=" eq)
      string(SUBSTRING "${item}" 0 ${eq} name)
      math(EXPR start "${eq} + 1")
      string(SUBSTRING "${item}" ${start} -1 path)
      set(sym "lumo_embedded_${index}")
      set(label "${prefix}${sym}")
      foreach(edge IN ITEMS begin end)
        string(APPEND asm "    \".globl ${label}_${edge}\\n")
        if(hide)
          string(APPEND asm "${hide} ${label}_${edge}\\n")
        endif()
        string(APPEND asm "\"\n")
      endforeach()
      string(APPEND asm
        "    \".balign 16\\n${label}_begin:\\n.incbin \\\"${path}\\\"\\n${label}_end:\\n\"\n")
      string(APPEND decls
        "extern \"C\" const char ${sym}_begin[];\nextern \"C\" const char ${sym}_end[];\n")
      string(APPEND rows_${kind} "    {\"${name}\", ${sym}_begin, ${sym}_end},\n")
      math(EXPR index "${index} + 1")
    endforeach()
  endforeach()
  list(LENGTH ARG_DICTIONARIES dictionary_count)
  list(LENGTH ARG_CONFIGS config_count)
  set(content
    "// Generated by cmake/EmbedTexts.cmake; do not edit.\n#include \"dict/embedded_file.h\"\n\n")
  string(APPEND content "__asm__(\n"
    "    \"${open}\\n\"\n"
    "${asm}    \"${close}\\n\");\n\n")
  lumo_embedded_tables(tables "${rows_DICTIONARIES}" ${dictionary_count}
                       "${rows_CONFIGS}" ${config_count})
  string(APPEND content "${decls}\n${tables}")
  file(CONFIGURE OUTPUT "${ARG_OUTPUT}" CONTENT "${content}" @ONLY)
  set_source_files_properties("${ARG_OUTPUT}" PROPERTIES OBJECT_DEPENDS "${all_paths}")
endfunction()

# Run as a script (cmake -DOUTPUT=... -DDICTIONARIES=... -DCONFIGS=... -P):
# writes OUTPUT with each file as an array of its bytes and a final zero,
# the zero left out of the text's end.
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  set(content
    "// Generated by cmake/EmbedTexts.cmake; do not edit.\n#include \"dict/embedded_file.h\"\n\n")
  set(index 0)
  foreach(kind IN ITEMS DICTIONARIES CONFIGS)
    set(rows_${kind} "")
    set(count_${kind} 0)
    string(REPLACE "|" ";" items "${${kind}}")
    foreach(item IN LISTS items)
      string(FIND "${item}" "=" eq)
      string(SUBSTRING "${item}" 0 ${eq} name)
      math(EXPR start "${eq} + 1")
      string(SUBSTRING "${item}" ${start} -1 path)
      set(sym "lumo_embedded_${index}")
      file(READ "${path}" hex HEX)
      # Lines of 16 bytes, so that no line is too long for a compiler.
      string(REGEX REPLACE "(................................)" "\\1\n" hex "${hex}")
      string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
      string(APPEND content "alignas(16) static const char ${sym}[] = {\n${bytes}0};\n")
      string(APPEND rows_${kind}
        "    {\"${name}\", ${sym}, ${sym} + sizeof(${sym}) - 1},\n")
      math(EXPR index "${index} + 1")
      math(EXPR count_${kind} "${count_${kind}} + 1")
    endforeach()
  endforeach()
  lumo_embedded_tables(tables "${rows_DICTIONARIES}" ${count_DICTIONARIES}
                       "${rows_CONFIGS}" ${count_CONFIGS})
  string(APPEND content "\n${tables}")
  file(WRITE "${OUTPUT}.tmp" "${content}")
  file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
  file(REMOVE "${OUTPUT}.tmp")
endif()
