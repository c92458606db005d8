# Installation and the Debian package (cpack -G DEB, see ./dev package).

if(TARGET velmira)
  install(TARGETS velmira RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET velmira-sim)
  install(TARGETS velmira-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(PROGRAMS ${CMAKE_SOURCE_DIR}/packaging/velmira-escritorio DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/velmira.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/velmira.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/org.velmira.Velmira.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# What the package ships in share/velmira, gathered in build/shipped/: the
# notes, the first configuration slot and the background picture, drawn
# here from its source.  The desktop menu's first start (velmira-escritorio)
# and `./dev run` put them in the folder the window runs in.
set(VELMIRA_SHIPPED ${CMAKE_BINARY_DIR}/shipped)
configure_file(${CMAKE_SOURCE_DIR}/packaging/Notas.txt ${VELMIRA_SHIPPED}/Notas.txt COPYONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/configuracion.ini ${VELMIRA_SHIPPED}/configuracion.ini COPYONLY)
install(FILES ${VELMIRA_SHIPPED}/Notas.txt ${VELMIRA_SHIPPED}/configuracion.ini DESTINATION ${CMAKE_INSTALL_DATADIR}/velmira)
if(VELMIRA_GUI)
  add_executable(velmira-make-background ${CMAKE_SOURCE_DIR}/packaging/make_background.cpp)
  target_link_libraries(velmira-make-background PRIVATE Qt6::Gui)
  add_custom_command(OUTPUT ${VELMIRA_SHIPPED}/MiImagen.jpg
    COMMAND velmira-make-background ${VELMIRA_SHIPPED}/MiImagen.jpg
    DEPENDS velmira-make-background
    COMMENT "The background picture")
  add_custom_target(velmira_background ALL DEPENDS ${VELMIRA_SHIPPED}/MiImagen.jpg)
  install(FILES ${VELMIRA_SHIPPED}/MiImagen.jpg DESTINATION ${CMAKE_INSTALL_DATADIR}/velmira)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/packaging/60-velmira.rules DESTINATION lib/udev/rules.d)
if(DEFINED VELMIRA_FIRMWARE_DIR)
  install(FILES ${VELMIRA_FIRMWARE_DIR}/velmira-firmware-4wire.hex ${VELMIRA_FIRMWARE_DIR}/velmira-firmware-stepdir.hex
          DESTINATION ${CMAKE_INSTALL_DATADIR}/velmira OPTIONAL)
endif()
foreach(page velmira velmira-sim velmira-escritorio)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/man/${page}.1 > ${CMAKE_BINARY_DIR}/man/${page}.1.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/man/${page}.1)
  list(APPEND VELMIRA_MAN_PAGES ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
endforeach()
add_custom_target(velmira_man_pages ALL DEPENDS ${VELMIRA_MAN_PAGES})
install(FILES ${VELMIRA_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Written only when its text changes, so that an unchanged tree rebuilds
# nothing.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/changelog
  CONTENT "velmira (${PROJECT_VERSION}) unstable; urgency=low\n\n  * Version ${PROJECT_VERSION}.\n\n -- Velmira <velmira@users.noreply.velmira.invalid>  Mon, 07 Dec 2026 00:00:00 +0000\n")
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND gzip -9n -c ${CMAKE_BINARY_DIR}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${CMAKE_BINARY_DIR}/changelog)
add_custom_target(velmira_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmira)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Velmira <velmira@users.noreply.velmira.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control program for a motorised macro-photography rail")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Velmira moves a stepper-driven rail in equal steps over a serial port
 (an Arduino-class controller) and fires the camera at every position,
 through the controller, with a function key for a camera program, or
 itself over USB (libgphoto2), keeping each stack's photos in a folder of
 its own with a record of the run.
 It includes a rail simulator and the controller's firmware.")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own texts in Spanish (the window loads them at start); libgphoto2
# for the USB camera, with its camera drivers and the udev rules that let
# the user at the desktop open a camera.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n, libgphoto2-6")
# The frames of a stack fused into one sharp picture (velmira --apilar).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hugin-tools, enfuse")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
