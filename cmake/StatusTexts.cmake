# Turns resources/status.txt (the status line's texts, a name and five
# languages a line, tab-separated) into what the build needs at configure
# time:
#   resources/StatusTexts.h     the texts' names as a C++ enumeration
#   resources/StatusStrings.rc  the Windows string table
#   status/<id>.txt             one file a string, embedded elsewhere
# String ids are ZK_RESOURCE_STATUS_STRINGS + 8 * text + language.
# Sets ZK_STATUS_STRING_ENTRIES to the embedded "STRING|id|file" entries.
# Writes `content` to `file` unless it already holds it, so that what
# depends on the file rebuilds only when the text changed.
function(zk_write_if_changed file content)
  if(EXISTS ${file})
    file(READ ${file} old)
    if(old STREQUAL content)
      return()
    endif()
  endif()
  file(WRITE ${file} "${content}")
endfunction()

function(zk_status_texts source base include_dir binary_dir)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} content)
  # Semicolons in a text would split CMake's lists: carried as a mark.
  string(REPLACE ";" "<semicolon>" content "${content}")
  string(REPLACE "\n" ";" lines "${content}")
  set(names "")
  set(table "")
  set(entries "")
  set(index 0)
  foreach(line IN LISTS lines)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    string(REPLACE "\t" ";" fields "${line}")
    list(LENGTH fields count)
    if(NOT count EQUAL 6 OR line MATCHES "\r")
      message(FATAL_ERROR "${source}: a name and five texts, tab-separated, a line: ${line}")
    endif()
    list(GET fields 0 name)
    if(NOT name MATCHES "^[A-Z][A-Za-z]+$")
      message(FATAL_ERROR "${source}: '${name}' is not a name")
    endif()
    string(APPEND names "  k${name} = ${index},\n")
    foreach(language RANGE 0 4)
      math(EXPR field "${language} + 1")
      math(EXPR id "${base} + 8 * ${index} + ${language}")
      list(GET fields ${field} text)
      string(REPLACE "<semicolon>" ";" text "${text}")
      zk_write_if_changed(${binary_dir}/status/${id}.txt "${text}")
      list(APPEND entries "STRING|${id}|${binary_dir}/status/${id}.txt")
      string(REPLACE "\\" "\\\\" text "${text}")
      string(REPLACE "\"" "\"\"" text "${text}")
      string(APPEND table "  ${id} \"${text}\"\n")
    endforeach()
    math(EXPR index "${index} + 1")
  endforeach()
  zk_write_if_changed(${include_dir}/resources/StatusTexts.h
"// The status line's texts by name, made by the build from resources/status.txt.
#pragma once

enum class StatusText : int {
${names}};
inline constexpr int kStatusTextCount = ${index};
")
  zk_write_if_changed(${include_dir}/resources/StatusStrings.rc
"// The status line's texts, made by the build from resources/status.txt (UTF-8).
STRINGTABLE
BEGIN
${table}END
")
  set(ZK_STATUS_STRING_ENTRIES "${entries}" PARENT_SCOPE)
endfunction()
