# vemkard.exe's resources. Included by this folder's CMakeLists.txt after
# add_executable(vemkard ...): compiles vemkard.rc into the program with the
# project's version (Version.h, made in the build folder) and lets the code
# include Resources.h.
configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${CMAKE_CURRENT_BINARY_DIR}/Version.h @ONLY)
target_sources(vemkard PRIVATE ${CMAKE_CURRENT_LIST_DIR}/vemkard.rc)
target_include_directories(vemkard PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_BINARY_DIR})
# windres does not track the files that the script names.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/vemkard.rc PROPERTIES OBJECT_DEPENDS
    "${CMAKE_CURRENT_LIST_DIR}/vemkard.ico;${CMAKE_CURRENT_LIST_DIR}/toolbar.bmp;${CMAKE_CURRENT_LIST_DIR}/vemkard.manifest;${CMAKE_CURRENT_LIST_DIR}/Resources.h;${CMAKE_CURRENT_BINARY_DIR}/Version.h")
