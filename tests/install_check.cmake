# Installs the build into a fresh prefix and checks that a Linux desktop finds
# the window program there: the program, its menu entry naming it and its
# icon, the icon itself and the help page.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -P install_check.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK_DIR}"
                RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${errors}")
endif()
foreach(file bin/fennick bin/fennick-convert share/applications/fennick.desktop
             share/icons/hicolor/scalable/apps/fennick.svg share/fennick/help/index.html)
  if(NOT EXISTS "${WORK_DIR}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
file(STRINGS "${WORK_DIR}/share/applications/fennick.desktop" entry)
foreach(line "Exec=fennick %F" "Icon=fennick" "Type=Application")
  list(FIND entry "${line}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "fennick.desktop lacks \"${line}\"")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "installed: program, desktop entry, icon, help page")
