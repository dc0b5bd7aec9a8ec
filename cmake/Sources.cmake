# Collects the sources below a folder, so that parallel work on different
# folders never edits the same list.
function(vexo_collect_sources out_var)
  set(files)
  foreach(dir IN LISTS ARGN)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS
         "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp"
         "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.h")
    list(APPEND files ${found})
  endforeach()
  set(${out_var} ${files} PARENT_SCOPE)
endfunction()
