configure_file(${CMAKE_CURRENT_LIST_DIR}/vesk_version.h.in
               ${CMAKE_BINARY_DIR}/generated/vesk_version.h @ONLY)
add_library(vesk_version INTERFACE)
add_library(vesk::version ALIAS vesk_version)
target_include_directories(vesk_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
