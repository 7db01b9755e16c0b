# Delay-load libraries for the Windows program. A DLL in the static import
# table that is not one Windows always takes from its own folder is searched
# beside the program first, before the program can restrict where libraries
# come from; a delay-loaded one is loaded on its first call, after
# SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) has run.
#
# zk_delay_import(<variable> <dll> <library>) makes, at configure time, a
# delay-load library for <dll> from mingw's import library lib<library>.a
# and stores its path in <variable>. Its .def is every function that the
# import library names; on i686 with the decorated @N names, which dlltool
# strips again (--kill-at) for the names looked up in the DLL.
function(zk_delay_import variable dll library)
  find_library(import_library NAMES ${library} REQUIRED NO_CACHE)
  set(folder ${CMAKE_BINARY_DIR}/delay-imports)
  file(MAKE_DIRECTORY ${folder})
  set(def ${folder}/${library}.def)
  set(archive ${folder}/lib${library}_delay.a)
  execute_process(COMMAND ${CMAKE_NM} ${import_library} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${CMAKE_NM} could not read ${import_library}")
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(pattern " I __imp__([A-Za-z][A-Za-z0-9_]*(@[0-9]+)?)\n")
    set(kill_at --kill-at)
  else()
    set(pattern " I __imp_([A-Za-z][A-Za-z0-9_]*)\n")
    set(kill_at "")
  endif()
  string(REGEX MATCHALL "${pattern}" entries "${symbols}")
  set(text "LIBRARY ${dll}\nEXPORTS\n")
  foreach(entry IN LISTS entries)
    string(REGEX REPLACE "${pattern}" "\\1" name "${entry}")
    string(APPEND text "  ${name}\n")
  endforeach()
  file(WRITE ${def} "${text}")
  execute_process(COMMAND ${CMAKE_DLLTOOL} --output-delaylib ${archive} --def ${def} --dllname ${dll} ${kill_at}
                  RESULT_VARIABLE rc ERROR_VARIABLE error)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${CMAKE_DLLTOOL} could not make the delay-load library of ${dll}:\n${error}")
  endif()
  set(${variable} ${archive} PARENT_SCOPE)
endfunction()
