# Builds the .deb from an already built tree and checks what a user would get from it, with the
# validators Debian and the software centres apply.
# cmake -DBUILD_DIR=... -DWORK_DIR=... -DCHART_MODULE=<its path under the prefix>
#       -DTLS_MODULE=<its path under the prefix>
#       -P CheckPackage.cmake
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND cpack -G DEB -B ${WORK_DIR} --config ${BUILD_DIR}/CPackConfig.cmake
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cpack failed:\n${out}")
endif()
file(GLOB debs ${WORK_DIR}/*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one .deb, found: ${debs}")
endif()

execute_process(COMMAND dpkg-deb --contents ${debs} OUTPUT_VARIABLE listing COMMAND_ERROR_IS_FATAL ANY)
set(expected
    ./usr/bin/mintlux
    ./usr/bin/mintlux-pricing
    ./usr/bin/mintlux-title
    ./usr/${CHART_MODULE}
    ./usr/${TLS_MODULE}
    ./usr/lib/systemd/user/mintlux-pricing.service
    ./usr/lib/systemd/user/mintlux-pricing.socket
    ./usr/share/applications/org.mintlux.Mintlux.desktop
    ./usr/share/metainfo/org.mintlux.Mintlux.metainfo.xml
    ./usr/share/doc/mintlux/copyright
    ./usr/share/doc/mintlux/changelog.gz
    ./usr/share/icons/hicolor/scalable/apps/MintluxIcon.svg
    ./usr/share/icons/hicolor/48x48/apps/MintluxIcon.png
    ./usr/share/gnome-shell/extensions/mintlux@mintlux.org/extension.js
    ./usr/share/gnome-shell/extensions/mintlux@mintlux.org/metadata.json
    ./usr/share/plasma/plasmoids/org.mintlux.Mintlux.title/contents/ui/main.qml
    ./usr/share/plasma/plasmoids/org.mintlux.Mintlux.title/contents/ui/title.js)
foreach(path IN LISTS expected)
    string(FIND "${listing}" " ${path}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${path} is missing from the package:\n${listing}")
    endif()
endforeach()
# Every program has its manual page.
string(REGEX MATCHALL " \\./usr/bin/[^\n]+" programs "${listing}")
foreach(program IN LISTS programs)
    string(REPLACE " ./usr/bin/" "" program "${program}")
    if(NOT listing MATCHES " \\./usr/share/man/man1/${program}\\.1\\.gz\n")
        message(FATAL_ERROR "${program} has no manual page:\n${listing}")
    endif()
endforeach()
# Nothing of the build leaks in: no headers, static libraries, tests or benchmarks.
foreach(unwanted "/include/" "\\.a\n" "_tests\n" "/bench_" "/usr/local/")
    if(listing MATCHES "${unwanted}")
        message(FATAL_ERROR "the package holds build files (${unwanted}):\n${listing}")
    endif()
endforeach()

execute_process(COMMAND dpkg-deb --field ${debs} Depends OUTPUT_VARIABLE depends
    COMMAND_ERROR_IS_FATAL ANY)
foreach(dep libqt6core6 libqt6widgets6 libqt6charts6 qt6-qpa-plugins)
    if(NOT depends MATCHES "${dep}")
        message(FATAL_ERROR "Depends lacks ${dep}: ${depends}")
    endif()
endforeach()

execute_process(COMMAND dpkg-deb --extract ${debs} ${WORK_DIR}/root COMMAND_ERROR_IS_FATAL ANY)

# The app leaves the chart library (and the OpenGL ones behind it) to its chart module, and the
# network library (with Kerberos and libproxy behind it) to its TLS module.
execute_process(COMMAND readelf --dynamic ${WORK_DIR}/root/usr/bin/mintlux
    OUTPUT_VARIABLE dynamic COMMAND_ERROR_IS_FATAL ANY)
if(NOT dynamic MATCHES "Shared library: \\[libQt6Widgets" OR
   dynamic MATCHES "Qt6Charts|Qt6OpenGL|Qt6Network")
    message(FATAL_ERROR
        "/usr/bin/mintlux should need Qt Widgets but not Qt Charts or Network:\n${dynamic}")
endif()

# The units must start the binary the package installs.
file(READ ${WORK_DIR}/root/usr/lib/systemd/user/mintlux-pricing.service service)
if(NOT service MATCHES "ExecStart=/usr/bin/mintlux-pricing")
    message(FATAL_ERROR "the service unit does not start /usr/bin/mintlux-pricing:\n${service}")
endif()
file(READ ${WORK_DIR}/root/usr/lib/systemd/user/mintlux-pricing.socket socket)
if(NOT socket MATCHES "ListenStream=127.0.0.1:47190")
    message(FATAL_ERROR "the socket unit does not listen where the app connects:\n${socket}")
endif()

# Nothing at warning level or above from Debian's checker (manual pages rendered with warnings
# on, copyright, changelog, maintainer scripts, permissions, stripping, the desktop entry).
execute_process(COMMAND lintian --fail-on error,warning --tag-display-limit 0 ${debs}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "lintian (${rc}):\n${out}")
endif()
file(GLOB entries ${WORK_DIR}/root/usr/share/applications/*.desktop)
execute_process(COMMAND desktop-file-validate ${entries}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
    message(FATAL_ERROR "desktop-file-validate (${rc}):\n${out}")
endif()
file(GLOB metainfo ${WORK_DIR}/root/usr/share/metainfo/*.xml)
execute_process(COMMAND appstreamcli validate --no-net ${metainfo}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR out MATCHES "(^|\n)[EW]: ")
    message(FATAL_ERROR "appstreamcli validate (${rc}):\n${out}")
endif()
# The software centres fetch the screenshots from the web; each must be one the tree keeps.
file(READ ${metainfo} text)
string(REGEX MATCHALL "https://[^<]+/screenshots/[^<]+" shots "${text}")
foreach(url IN LISTS shots)
    get_filename_component(name ${url} NAME)
    if(NOT EXISTS ${CMAKE_CURRENT_LIST_DIR}/../../packaging/screenshots/${name})
        message(FATAL_ERROR "${url} is not in packaging/screenshots/")
    endif()
endforeach()

# The maintainer scripts on a system without systemctl (the extracted tree has none): install
# enables the socket for every user, remove masks it, purge leaves nothing behind.
set(units ${WORK_DIR}/root/etc/systemd/user)
file(MAKE_DIRECTORY ${WORK_DIR}/control)
execute_process(COMMAND dpkg-deb --control ${debs} ${WORK_DIR}/control COMMAND_ERROR_IS_FATAL ANY)
foreach(step "postinst;configure;sockets.target.wants/mintlux-pricing.socket"
        "postrm;remove;mintlux-pricing.socket;sockets.target.wants/mintlux-pricing.socket"
        "postrm;purge")
    list(POP_FRONT step script action)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DPKG_ROOT=${WORK_DIR}/root
            DPKG_MAINTSCRIPT_PACKAGE=mintlux ${WORK_DIR}/control/${script} ${action}
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
        message(FATAL_ERROR "${script} ${action} failed (${rc}):\n${out}")
    endif()
    file(GLOB_RECURSE links RELATIVE ${units} LIST_DIRECTORIES false ${units}/*)
    list(SORT links)
    if(NOT links STREQUAL step)
        message(FATAL_ERROR "after ${script} ${action}: /etc/systemd/user holds '${links}', "
            "expected '${step}'")
    endif()
endforeach()
message(STATUS "package ${debs} holds what it should and passes its validators")
