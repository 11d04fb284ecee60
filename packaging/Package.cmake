# `make package`: one .deb with the app, the pricing service, its systemd user units, the menu
# entry, the icons, the manual pages and the AppStream metadata.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mintlux)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION}.0)
set(CPACK_PACKAGE_VENDOR "Mintlux")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Live precious-metal prices in the status area")
# Lines as Debian shows them: within 80 columns, so no line continuation here.
set(CPACK_PACKAGE_DESCRIPTION
    "Gold, silver, platinum and palladium spot prices in USD, INR, EUR, GBP
or AED, shown in the desktop's status area, with a price chart, a vault
for your holdings, and a local pricing service fed by public market data.")
set(CPACK_PACKAGE_CONTACT "Mintlux developers <dev@mintlux.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Qt platform plugins are loaded at run time, so no shared-library scan finds them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/debian/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
