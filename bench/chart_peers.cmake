# Other plotting libraries drawing our strip-chart picture, for comparison with
# our own chart tick (bench/chart_peers.cpp).
#
#   kvn_add_chart_peers(<target>)
#
# adds chart_peers.cpp to <target> and links whichever of the two libraries
# is installed: QCustomPlot built for Qt 6 (Debian: libqcustomplot-dev) and
# Qt Charts (Debian: qt6-charts-dev). KVN_HAVE_QCUSTOMPLOT and
# KVN_HAVE_QTCHARTS tell the source which ones it may use (1 or 0); a missing
# one just leaves its benchmark out. <target> must link Google Benchmark and
# Qt6::Widgets itself, and its main must create the QApplication.

function(kvn_add_chart_peers target)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/chart_peers.cpp)

  # QCustomPlot: only the Qt 6 build will do (libQCustomPlot.so is the Qt 5
  # one). Its header includes QtPrintSupport.
  find_library(KVN_QCUSTOMPLOT_LIBRARY NAMES QCustomPlotQt6)
  find_path(KVN_QCUSTOMPLOT_INCLUDE_DIR NAMES qcustomplot.h)
  find_package(Qt6 QUIET COMPONENTS PrintSupport)
  if(KVN_QCUSTOMPLOT_LIBRARY AND KVN_QCUSTOMPLOT_INCLUDE_DIR AND TARGET Qt6::PrintSupport)
    message(STATUS "Chart peers: QCustomPlot found (${KVN_QCUSTOMPLOT_LIBRARY})")
    target_include_directories(${target} SYSTEM PRIVATE ${KVN_QCUSTOMPLOT_INCLUDE_DIR})
    target_link_libraries(${target} PRIVATE ${KVN_QCUSTOMPLOT_LIBRARY} Qt6::PrintSupport Qt6::Widgets)
    # Declares the header's classes as imported from the shared library.
    target_compile_definitions(${target} PRIVATE KVN_HAVE_QCUSTOMPLOT=1 QCUSTOMPLOT_USE_LIBRARY)
  else()
    message(STATUS "Chart peers: QCustomPlot (Qt 6 build) missing, its benchmark is left out")
    target_compile_definitions(${target} PRIVATE KVN_HAVE_QCUSTOMPLOT=0)
  endif()

  # Qt Charts. Its CMake package needs the one of Qt OpenGL, which Debian 12
  # ships in libqt6opengl6-dev, a package qt6-charts-dev does not pull in;
  # without it the library and headers are still there, so look for those.
  find_package(Qt6 QUIET COMPONENTS Charts)
  if(TARGET Qt6::Charts)
    message(STATUS "Chart peers: Qt Charts found (${Qt6Charts_VERSION})")
    target_link_libraries(${target} PRIVATE Qt6::Charts Qt6::Widgets)
    target_compile_definitions(${target} PRIVATE KVN_HAVE_QTCHARTS=1)
  else()
    find_library(KVN_QTCHARTS_LIBRARY NAMES Qt6Charts
                 HINTS ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_LIBS})
    find_path(KVN_QTCHARTS_INCLUDE_DIR NAMES QtCharts/QChart
              HINTS ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_HEADERS})
    if(KVN_QTCHARTS_LIBRARY AND KVN_QTCHARTS_INCLUDE_DIR)
      message(STATUS "Chart peers: Qt Charts found without its CMake package (${KVN_QTCHARTS_LIBRARY})")
      target_include_directories(${target} SYSTEM PRIVATE
        ${KVN_QTCHARTS_INCLUDE_DIR} ${KVN_QTCHARTS_INCLUDE_DIR}/QtCharts)
      target_link_libraries(${target} PRIVATE ${KVN_QTCHARTS_LIBRARY} Qt6::Widgets)
      target_compile_definitions(${target} PRIVATE KVN_HAVE_QTCHARTS=1)
    else()
      message(STATUS "Chart peers: Qt Charts missing, its benchmark is left out")
      target_compile_definitions(${target} PRIVATE KVN_HAVE_QTCHARTS=0)
    endif()
  endif()
endfunction()
