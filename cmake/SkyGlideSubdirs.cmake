# Adds, in the given order, every listed subfolder that has a CMakeLists.txt.
# Subsystems come and go one at a time, so a parent never names a folder that
# is not there yet.
function(skyglide_add_subdirs)
  foreach(sub IN LISTS ARGN)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${sub}/CMakeLists.txt)
      add_subdirectory(${sub})
    endif()
  endforeach()
endfunction()
