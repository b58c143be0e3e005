# The DLLs a Windows program of this build loads from its own folder: MinGW's
# runtime and, with the windows, Qt's libraries and its windows platform
# plugin. They are copied into bin/ (target kvn_windows_runtime), so that the
# program and the tests there run as they do from the unpacked archive.
#
# kvn_static_runtime(TARGET): a Windows binary that carries its compiler's
# runtime instead, so that it runs from any folder without those DLLs: the
# simulated board (a drop-in for the maker's library) and the tests' stand-ins.

function(kvn_static_runtime target)
  if(MINGW)
    target_link_options(${target} PRIVATE -static)
  endif()
endfunction()

if(NOT MINGW)
  return()
endif()

set(KVN_WINDOWS_RUNTIME_DLLS "")
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
  endif()
  get_filename_component(path "${path}" REALPATH)
  list(APPEND KVN_WINDOWS_RUNTIME_DLLS "${path}")
endforeach()

# Each is copied and stripped of its symbols (Debian's MinGW runtime carries
# its debugging information: libstdc++ alone is 24 MB with it, 2 MB without);
# the archive takes the copies.
set(_kvn_copies "")
function(_kvn_runtime_copy file into install_to)
  get_filename_component(name "${file}" NAME)
  if(IS_ABSOLUTE "${file}")
    set(source "${file}")
  else()
    set(source "$<TARGET_FILE:${file}>")
    set(name "$<TARGET_FILE_NAME:${file}>")
  endif()
  list(APPEND _kvn_copies
       COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${into}
       COMMAND ${CMAKE_COMMAND} -E copy ${source} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${into}
       COMMAND ${CMAKE_STRIP} --strip-unneeded ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${into}/${name})
  set(_kvn_copies "${_kvn_copies}" PARENT_SCOPE)
  if(install_to)
    install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${into}/${name} DESTINATION ${install_to}
            COMPONENT program)
  endif()
endfunction()

foreach(dll IN LISTS KVN_WINDOWS_RUNTIME_DLLS)
  _kvn_runtime_copy(${dll} . .)
endforeach()
if(KVN_WITH_WIDGETS)
  foreach(lib Qt6::Core Qt6::Gui Qt6::Widgets)
    _kvn_runtime_copy(${lib} . .)
  endforeach()
  if(KVN_BUILD_TESTS)
    _kvn_runtime_copy(Qt6::Test . "")
  endif()
  # Qt looks for its platform plugin in platforms/ beside the executable.
  _kvn_runtime_copy(Qt6::QWindowsIntegrationPlugin platforms platforms)
endif()

add_custom_target(kvn_windows_runtime ALL ${_kvn_copies}
  COMMENT "Copying the DLLs of MinGW's runtime and of Qt into bin/")
