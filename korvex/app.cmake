# The station on top of the engine.
add_library(korvex_app STATIC
  core/context.cpp
  core/korvmain.cpp
  core/recording.cpp
  links/tcpip.cpp
  links/eventlog.cpp
  commanding/txtcmd.cpp
)
target_link_libraries(korvex_app PUBLIC korvex_logic rte)

add_executable(korvex main.cpp)
target_link_libraries(korvex PRIVATE korvex_app)
target_compile_definitions(korvex PRIVATE KORVEX_UI_DIR="${CMAKE_CURRENT_SOURCE_DIR}/ui")

vantis_add_test(korvex_station_tests core/tests/station_test.cpp links/tests/intake_loopback_test.cpp)
target_link_libraries(korvex_station_tests PRIVATE korvex_app nlohmann_json::nlohmann_json Threads::Threads)
target_compile_definitions(korvex_station_tests PRIVATE KORVEX_UI_DIR="${CMAKE_CURRENT_SOURCE_DIR}/ui")
