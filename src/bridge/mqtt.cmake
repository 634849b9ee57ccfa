# The bridge's MQTT side: libmosquitto (Debian libmosquitto-dev), driven by
# the event loop. Included by the bridge's own CMakeLists.txt. GLOBAL: the
# library target is defined a folder up.
find_package(PkgConfig REQUIRED)
pkg_check_modules(MOSQUITTO REQUIRED IMPORTED_TARGET GLOBAL libmosquitto)

target_sources(koru_bridge PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/mqttconfig.h ${CMAKE_CURRENT_LIST_DIR}/mqttconfig.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mqtttopics.h ${CMAKE_CURRENT_LIST_DIR}/mqtttopics.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mqttdiscovery.h ${CMAKE_CURRENT_LIST_DIR}/mqttdiscovery.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mqttclient.h ${CMAKE_CURRENT_LIST_DIR}/mqttclient.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mqttservice.h ${CMAKE_CURRENT_LIST_DIR}/mqttservice.cpp)
target_link_libraries(koru_bridge PRIVATE PkgConfig::MOSQUITTO)
