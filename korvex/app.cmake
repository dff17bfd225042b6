# The station on top of the engine.
add_library(korvex_app STATIC
  core/context.cpp
  core/korvmain.cpp
  core/recording.cpp
  links/tcpip.cpp
  links/eventlog.cpp
  links/cmdlink.cpp
  links/reconnect_glue.cpp
  commanding/scmglue.cpp
  links/localserver.cpp
  links/cmdserver.cpp
  commanding/txtcmd.cpp
  commanding/keywords_settings.cpp
  commanding/script.cpp
  commanding/variables_glue.cpp
  commanding/keywords_files.cpp
  commanding/keywords_sequence.cpp
  commanding/layout_glue.cpp
  telemetry/telemetry.cpp
)
target_link_libraries(korvex_app PUBLIC korvex_logic rte)

add_executable(korvex main.cpp)
target_link_libraries(korvex PRIVATE korvex_app)
target_compile_definitions(korvex PRIVATE KORVEX_UI_DIR="${CMAKE_CURRENT_SOURCE_DIR}/ui")

vantis_add_test(korvex_station_tests core/tests/station_test.cpp links/tests/intake_loopback_test.cpp
  commanding/tests/language_test.cpp commanding/tests/sequence_station_test.cpp
  commanding/tests/bad_input_test.cpp
  telemetry/tests/telemetry_station_test.cpp telemetry/tests/mocsim_roundtrip_test.cpp
  links/tests/cmdlink_station_test.cpp links/tests/cmdserver_station_test.cpp
  links/tests/reconnect_station_test.cpp links/tests/roundtrip_station_test.cpp)
target_link_libraries(korvex_station_tests PRIVATE korvex_app nlohmann_json::nlohmann_json Threads::Threads)
target_compile_definitions(korvex_station_tests PRIVATE KORVEX_UI_DIR="${CMAKE_CURRENT_SOURCE_DIR}/ui"
  STATION_DIR="${CMAKE_SOURCE_DIR}/station"
  MOCSIM_BINARY="${CMAKE_BINARY_DIR}/tools/mocsim/mocsim")
if(EXISTS ${CMAKE_SOURCE_DIR}/tools/mocsim/CMakeLists.txt)
  add_dependencies(korvex_station_tests mocsim)
endif()

vantis_add_test(korvex_quit_tests core/tests/quit_test.cpp)
target_link_libraries(korvex_quit_tests PRIVATE korvex_app)
target_compile_definitions(korvex_quit_tests PRIVATE KORVEX_UI_DIR="${CMAKE_CURRENT_SOURCE_DIR}/ui"
  STATION_DIR="${CMAKE_SOURCE_DIR}/station")

# korvex --headless against the simulator (tools/mocsim), as a separate process.
vantis_add_test(korvex_headless_tests links/tests/headless_mocsim_test.cpp
  core/tests/cli_contract_test.cpp
  links/tests/local_server_test.cpp
  links/tests/headless_blackbox_test.cpp telemetry/tests/headless_alarm_test.cpp
  links/tests/headless_cmd_test.cpp links/tests/headless_reconnect_test.cpp)
target_link_libraries(korvex_headless_tests PRIVATE korvex_logic nlohmann_json::nlohmann_json Threads::Threads)
target_compile_definitions(korvex_headless_tests PRIVATE
  KORVEX_BINARY="$<TARGET_FILE:korvex>"
  MOCSIM_BINARY="${CMAKE_BINARY_DIR}/tools/mocsim/mocsim"
  STATION_DIR="${CMAKE_SOURCE_DIR}/station")
add_dependencies(korvex_headless_tests korvex)
if(EXISTS ${CMAKE_SOURCE_DIR}/tools/mocsim/CMakeLists.txt)
  add_dependencies(korvex_headless_tests mocsim)
endif()

# The telemetry panels on the widget view (offscreen), with screenshots.
vantis_add_test(korvex_view_tests telemetry/tests/panels_view_test.cpp links/tests/link_view_test.cpp)
target_link_libraries(korvex_view_tests PRIVATE korvex_app Qt6::Gui)
target_compile_definitions(korvex_view_tests PRIVATE KORVEX_UI_DIR="${CMAKE_CURRENT_SOURCE_DIR}/ui"
  STATION_DIR="${CMAKE_SOURCE_DIR}/station")

# The command panels in the widget view on the offscreen platform.
vantis_add_test(korvex_gui_tests links/tests/cmd_panels_gui_test.cpp
  commanding/tests/cmd_screens_gui_test.cpp)
target_link_libraries(korvex_gui_tests PRIVATE korvex_app)
target_compile_definitions(korvex_gui_tests PRIVATE KORVEX_UI_DIR="${CMAKE_CURRENT_SOURCE_DIR}/ui"
  STATION_DIR="${CMAKE_SOURCE_DIR}/station")
