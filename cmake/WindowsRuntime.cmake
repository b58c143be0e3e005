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

set(_kvn_copies "")
foreach(dll IN LISTS KVN_WINDOWS_RUNTIME_DLLS)
  list(APPEND _kvn_copies COMMAND ${CMAKE_COMMAND} -E copy_if_different ${dll}
       ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/)
endforeach()
install(FILES ${KVN_WINDOWS_RUNTIME_DLLS} DESTINATION . COMPONENT program)

if(KVN_WITH_WIDGETS)
  set(_kvn_qt_libraries Qt6::Core Qt6::Gui Qt6::Widgets)
  foreach(lib IN LISTS _kvn_qt_libraries)
    list(APPEND _kvn_copies COMMAND ${CMAKE_COMMAND} -E copy_if_different
         $<TARGET_FILE:${lib}> ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/)
    install(FILES $<TARGET_FILE:${lib}> DESTINATION . COMPONENT program)
  endforeach()
  if(KVN_BUILD_TESTS)
    list(APPEND _kvn_copies COMMAND ${CMAKE_COMMAND} -E copy_if_different
         $<TARGET_FILE:Qt6::Test> ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/)
  endif()
  # Qt looks for its platform plugin in platforms/ beside the executable.
  list(APPEND _kvn_copies
       COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/platforms
       COMMAND ${CMAKE_COMMAND} -E copy_if_different
               $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>
               ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/platforms/)
  install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms
          COMPONENT program)
endif()

add_custom_target(kvn_windows_runtime ALL ${_kvn_copies}
  COMMENT "Copying the DLLs of MinGW's runtime and of Qt into bin/")
