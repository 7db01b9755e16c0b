# POSIX halves of the network area: URL fetch, HTTP request client, and the
# setup download's one attempt and partial file.
target_sources(zk_net PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/fetch_curl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http_curl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HeldFile_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HttpAttempt_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PartialFile_posix.cpp
)
