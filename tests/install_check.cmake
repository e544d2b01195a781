# Installs the build into PREFIX and checks that every file a desktop needs is there.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(f bin/lx300 bin/lx300-cli bin/lx300-sim share/applications/lx300.desktop
          share/mime/packages/lx300-tkr.xml share/icons/hicolor/256x256/apps/lx300.png
          share/lx300/sample.tkr)
    if(NOT EXISTS ${PREFIX}/${f})
        message(FATAL_ERROR "not installed: ${f}")
    endif()
endforeach()
file(READ ${PREFIX}/share/applications/lx300.desktop desktop)
if(NOT desktop MATCHES "MimeType=application/x-lx300-tkr;" OR NOT desktop MATCHES "Exec=lx300 %f")
    message(FATAL_ERROR "the menu entry does not open .tkr files")
endif()
message(STATUS "install layout complete")
