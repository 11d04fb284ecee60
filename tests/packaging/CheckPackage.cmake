# Builds the .deb from an already built tree and checks what a user would get from it.
# cmake -DBUILD_DIR=... -DWORK_DIR=... -P CheckPackage.cmake
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
    ./usr/lib/systemd/user/mintlux-pricing.service
    ./usr/lib/systemd/user/mintlux-pricing.socket
    ./usr/share/applications/org.mintlux.Mintlux.desktop
    ./usr/share/icons/hicolor/scalable/apps/MintluxIcon.svg
    ./usr/share/icons/hicolor/48x48/apps/MintluxIcon.png)
foreach(path IN LISTS expected)
    string(FIND "${listing}" " ${path}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${path} is missing from the package:\n${listing}")
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
foreach(dep libqt6core6 libqt6widgets6 qt6-qpa-plugins)
    if(NOT depends MATCHES "${dep}")
        message(FATAL_ERROR "Depends lacks ${dep}: ${depends}")
    endif()
endforeach()

# The units must start the binary the package installs.
execute_process(COMMAND dpkg-deb --extract ${debs} ${WORK_DIR}/root COMMAND_ERROR_IS_FATAL ANY)
file(READ ${WORK_DIR}/root/usr/lib/systemd/user/mintlux-pricing.service service)
if(NOT service MATCHES "ExecStart=/usr/bin/mintlux-pricing")
    message(FATAL_ERROR "the service unit does not start /usr/bin/mintlux-pricing:\n${service}")
endif()
file(READ ${WORK_DIR}/root/usr/lib/systemd/user/mintlux-pricing.socket socket)
if(NOT socket MATCHES "ListenStream=127.0.0.1:47190")
    message(FATAL_ERROR "the socket unit does not listen where the app connects:\n${socket}")
endif()
message(STATUS "package ${debs} holds what it should")
