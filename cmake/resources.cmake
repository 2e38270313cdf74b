# Resources (string tables, dialog templates) of a DLL.
#
#   aucal_add_resources(<target> <script.rc>... [INCLUDES <dir>...])
#
# On Windows the scripts are compiled by the resource compiler (windres of the
# mingw toolchain, enabled as the RC language by the top-level CMakeLists) and
# linked into the target; #include in a script sees the target's source folder,
# the build folder of the current directory and INCLUDES. Elsewhere this does
# nothing: the POSIX stand-in reads the same texts from their generated source.
#
# Narrow strings in a script are taken as Windows-1252 (--codepage=1252): each
# byte 0x80..0xFF becomes one UTF-16 unit, which LoadStringA turns back into
# the same byte under the same code page, so byte strings of another encoding
# (such as Big5) travel through the 8-bit string table unchanged.
function(aucal_add_resources target)
  cmake_parse_arguments(R "" "" "INCLUDES" ${ARGN})
  if(NOT WIN32)
    return()
  endif()
  foreach(script ${R_UNPARSED_ARGUMENTS})
    get_filename_component(abs ${script} ABSOLUTE)
    set_source_files_properties(${abs} PROPERTIES LANGUAGE RC)
    target_sources(${target} PRIVATE ${abs})
  endforeach()
  target_include_directories(${target} PRIVATE $<$<COMPILE_LANGUAGE:RC>:${CMAKE_CURRENT_SOURCE_DIR}>
                                               $<$<COMPILE_LANGUAGE:RC>:${CMAKE_CURRENT_BINARY_DIR}>)
  foreach(dir ${R_INCLUDES})
    target_include_directories(${target} PRIVATE $<$<COMPILE_LANGUAGE:RC>:${dir}>)
  endforeach()
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:RC>:--codepage=1252>)
endfunction()
