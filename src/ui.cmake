find_package(Qt6 REQUIRED COMPONENTS Svg)

# vorpelui: the windows, their controls and the routines that drive them.
add_library(vorpelui STATIC
  platform/eventgate.cpp platform/timer.cpp platform/window.cpp platform/controls.cpp
  platform/listbox.cpp platform/pictures.cpp platform/services.cpp platform/menus.cpp
  platform/effects.cpp
  app/app.cpp
  dropscreen/qconvert.cpp
  panels/controlwin.cpp panels/imagecontrol.cpp panels/audiocontrol.cpp
  engine/batch.cpp engine/vorpel.cpp
  feedback/nsvorpel.cpp feedback/progressdes.cpp feedback/doner.cpp
  info/AboutWin.cpp info/infowin.cpp
)
target_include_directories(vorpelui PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(vorpelui PUBLIC vorpelcore Qt6::Widgets Qt6::Svg)
# On X11 the poof asks the display whether a compositing manager runs.
pkg_check_modules(XCB IMPORTED_TARGET xcb)
if(XCB_FOUND)
  target_link_libraries(vorpelui PRIVATE PkgConfig::XCB)
  target_compile_definitions(vorpelui PRIVATE VORPEL_HAVE_XCB)
endif()

file(GLOB picture_files ${CMAKE_SOURCE_DIR}/resources/pictures/*.svg)
qt_add_resources(vorpelui "pictures" PREFIX "/" BASE ${CMAKE_SOURCE_DIR}/resources
  FILES ${picture_files} ${CMAKE_SOURCE_DIR}/resources/icons/vorpelconverter.svg)

add_executable(vorpelconverter app/main.cpp)
target_link_libraries(vorpelconverter PRIVATE vorpelui)
install(TARGETS vorpelconverter RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The support page beside the binary, in the build tree as once installed.
configure_file(${CMAKE_SOURCE_DIR}/resources/support/index.html ${VORPEL_SHARE_DIR}/support/index.html COPYONLY)
install(FILES ${CMAKE_SOURCE_DIR}/resources/support/index.html DESTINATION ${CMAKE_INSTALL_DATADIR}/vorpelconverter/support)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/pictures DESTINATION ${CMAKE_INSTALL_DATADIR}/vorpelconverter)
install(FILES ${CMAKE_SOURCE_DIR}/resources/vorpelconverter.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/vorpelconverter.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
