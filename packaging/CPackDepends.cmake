# Read by cpack before it packs: adds the packages of the QML modules that the window loads
# to the Depends that dpkg-shlibdeps derives from the executables.
if(CPACK_GENERATOR STREQUAL "DEB")
  execute_process(
    COMMAND ${CPACK_COGWISE_QML_DEPENDS} ${CPACK_COGWISE_QMLIMPORTSCANNER} ${CPACK_COGWISE_QML_IMPORT_PATH}
            ${CPACK_COGWISE_QML_SOURCES}
    OUTPUT_VARIABLE qml_depends OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR qml_depends STREQUAL "")
    message(FATAL_ERROR "The packages of the QML modules could not be derived (${result})")
  endif()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${qml_depends}")
endif()
