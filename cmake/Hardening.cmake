# The distribution's hardening, for every GCC or Clang build on Linux that is
# not a sanitizer build: the flags dpkg-buildflags gives a Debian package with
# every hardening feature on (stack protector, _FORTIFY_SOURCE, format
# checks, RELRO, immediate binding, PIE), raised to _FORTIFY_SOURCE=3, plus
# the two that Debian 12's dpkg does not know yet and its successor adds on
# amd64: -fcf-protection and -fstack-clash-protection. The build type keeps
# its own optimisation and debug information; a build without optimisation
# gets no _FORTIFY_SOURCE, which needs it (dpkg's "noopt" does the same).
#
# KVN_HARDENING=OFF leaves the compiler's defaults. DEB_BUILD_MAINT_OPTIONS
# and DEB_*FLAGS_APPEND in the environment reach dpkg-buildflags as in any
# Debian build.

option(KVN_HARDENING "Build with the distribution's hardening flags" ON)
set(KVN_FORTIFY_LEVEL 3 CACHE STRING "_FORTIFY_SOURCE level of optimised builds (2 or 3)")
set_property(CACHE KVN_FORTIFY_LEVEL PROPERTY STRINGS 2 3)

function(kvn_apply_hardening)
  if(NOT KVN_HARDENING OR KVN_SANITIZE OR WIN32 OR MSVC)
    return()
  endif()
  if(NOT KVN_FORTIFY_LEVEL MATCHES "^[23]$")
    message(FATAL_ERROR "KVN_FORTIFY_LEVEL must be 2 or 3, not \"${KVN_FORTIFY_LEVEL}\"")
  endif()
  string(TOUPPER "${CMAKE_BUILD_TYPE}" build_type)
  set(optimised OFF)
  if(build_type MATCHES "^(RELEASE|RELWITHDEBINFO|MINSIZEREL)$")
    set(optimised ON)
  endif()

  find_program(KVN_DPKG_BUILDFLAGS dpkg-buildflags)
  if(KVN_DPKG_BUILDFLAGS)
    # Hardening only: optimisation, debug information and the reproducible
    # path map are the build type's business.
    set(options "hardening=+all reproducible=-fixfilepath,-fixdebugpath")
    if(DEFINED ENV{DEB_BUILD_MAINT_OPTIONS})
      string(APPEND options " $ENV{DEB_BUILD_MAINT_OPTIONS}")
    endif()
    set(build_options "$ENV{DEB_BUILD_OPTIONS}")
    if(NOT optimised)
      string(APPEND build_options " noopt")
    endif()
    # A leading blank would be an empty option to dpkg, which warns of it.
    string(STRIP "${build_options}" build_options)
    foreach(kind CPPFLAGS CXXFLAGS CFLAGS LDFLAGS)
      execute_process(
        COMMAND ${CMAKE_COMMAND} -E env "DEB_BUILD_MAINT_OPTIONS=${options}"
                "DEB_BUILD_OPTIONS=${build_options}"
                ${KVN_DPKG_BUILDFLAGS} --get ${kind}
        OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE status)
      if(NOT status EQUAL 0)
        message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed (${status})")
      endif()
      separate_arguments(value UNIX_COMMAND "${value}")
      list(FILTER value EXCLUDE REGEX "^(-g[0-9a-z]*|-O[0-9sgz]*)$")
      set(${kind} ${value})
    endforeach()
    set(source "dpkg-buildflags")
  else()
    # The same set as Debian 12's dpkg-buildflags gives with hardening=+all.
    set(CPPFLAGS -Wdate-time -D_FORTIFY_SOURCE=2)
    set(CFLAGS -fstack-protector-strong -Wformat -Werror=format-security)
    set(CXXFLAGS ${CFLAGS})
    set(LDFLAGS -Wl,-z,relro -Wl,-z,now)
    if(NOT optimised)
      list(REMOVE_ITEM CPPFLAGS -D_FORTIFY_SOURCE=2)
    endif()
    set(source "built-in list (no dpkg-buildflags)")
  endif()

  # The stronger fortify level, where the build has it at all.
  if(CPPFLAGS MATCHES "-D_FORTIFY_SOURCE=")
    list(FILTER CPPFLAGS EXCLUDE REGEX "^-D_FORTIFY_SOURCE=")
    list(APPEND CPPFLAGS -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=${KVN_FORTIFY_LEVEL})
  endif()
  set(extra)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86)$")
    list(APPEND extra -fcf-protection -fstack-clash-protection)
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
    list(APPEND extra -mbranch-protection=standard -fstack-clash-protection)
  endif()

  add_compile_options(${CPPFLAGS} ${extra})
  foreach(flag IN LISTS CXXFLAGS)
    add_compile_options($<$<COMPILE_LANGUAGE:CXX>:${flag}>)
  endforeach()
  foreach(flag IN LISTS CFLAGS)
    add_compile_options($<$<COMPILE_LANGUAGE:C>:${flag}>)
  endforeach()
  add_link_options(${LDFLAGS})
  list(JOIN CPPFLAGS " " shown_cpp)
  list(JOIN CXXFLAGS " " shown_cxx)
  list(JOIN LDFLAGS " " shown_ld)
  list(JOIN extra " " shown_extra)
  message(STATUS "Hardening from ${source}: ${shown_cpp} ${shown_cxx} ${shown_extra}; link ${shown_ld}")
endfunction()
