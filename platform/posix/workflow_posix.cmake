# POSIX halves of the workflow: process starts (with the delete rule that
# depends on them) and the registry store.
target_sources(zk_net PRIVATE ${CMAKE_CURRENT_LIST_DIR}/processes_posix.cpp)
target_sources(zk_app PRIVATE ${CMAKE_CURRENT_LIST_DIR}/registry_posix.cpp)
