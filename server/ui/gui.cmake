# The Qt side of tovan: the settings store (Qt Core, also read by the headless
# mode), the dialog, the about box, and the program's start that chooses
# between dialog and headless host.
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets)

configure_file(${CMAKE_CURRENT_SOURCE_DIR}/version_info.h.in
               ${CMAKE_CURRENT_BINARY_DIR}/generated/server/ui/version_info.h @ONLY)

add_library(tovan_settings STATIC server_settings.cpp)
target_include_directories(tovan_settings PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tovan_settings PUBLIC Qt6::Core)

add_library(tovan_gui STATIC
  dialog_units.cpp
  app_icon.cpp
  own_address.cpp
  qt_message_box.cpp
  url_opener.cpp
  hyper_link.cpp
  about_dlg.cpp
  context_help.cpp
  server_signals.cpp
  server_dlg.cpp
  tovan_app.cpp
)
set_target_properties(tovan_gui PROPERTIES AUTOMOC ON)
target_include_directories(tovan_gui PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/generated)
target_link_libraries(tovan_gui PUBLIC tovan_host tovan_settings Qt6::Widgets)

target_link_libraries(tovan PRIVATE tovan_gui)
target_compile_definitions(tovan PRIVATE TOVAN_WITH_GUI)

# Draws the running dialog into docs/tovan-dialog.png (offscreen platform).
add_executable(tovan_screenshot screenshot_main.cpp)
target_link_libraries(tovan_screenshot PRIVATE tovan_gui)

# The desktop entry and the icon in the sizes of the hicolor theme, drawn by
# the same code as the dialog's icon.
add_executable(tovan_icon_files icon_files_main.cpp)
target_link_libraries(tovan_icon_files PRIVATE tovan_gui)
set(_tovan_icons ${CMAKE_CURRENT_BINARY_DIR}/icons)
add_custom_command(OUTPUT ${_tovan_icons}/256x256/apps/tovan.png
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
          $<TARGET_FILE:tovan_icon_files> ${_tovan_icons}
  DEPENDS tovan_icon_files
  VERBATIM)
add_custom_target(tovan_icons ALL DEPENDS ${_tovan_icons}/256x256/apps/tovan.png)
install(DIRECTORY ${_tovan_icons}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor COMPONENT tovan)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/tovan.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT tovan)
