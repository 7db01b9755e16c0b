# POSIX halves of the network area: URL fetch and HTTP request client.
target_sources(zk_net PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/fetch_curl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/http_curl.cpp
)
