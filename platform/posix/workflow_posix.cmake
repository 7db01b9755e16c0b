# POSIX halves of the workflow: program starts, the setup program's end and
# the registry store.
target_sources(zk_net PRIVATE ${CMAKE_CURRENT_LIST_DIR}/processes_posix.cpp)
target_sources(zk_app PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/SetupProgram_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_posix.cpp
)
