# The Win32-free core of the virtual tree (node model, checks, cache, streams,
# sorting): listed for builds that use it without the window layer (the host
# fuzz target of the node streams).
set(QV_TREE_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/TreeError.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NodeRecords.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NodeStructure.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NodeInit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Navigation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NodeToggle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Checks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UpdateCache.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Selection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CoreEvents.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Sorting.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NodeBuffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NodeStream.cpp)
