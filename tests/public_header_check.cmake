# Compiles a file that includes only HEADER (syntax only) and fails when the
# compiler read any header of the codec libraries (libav*/, libsw*/) for it.
#   cmake -DCXX=... -DSOURCE_DIR=... -DWORK_DIR=... -DHEADER=component/FFmpegVCL.h -P public_header_check.cmake
file(MAKE_DIRECTORY "${WORK_DIR}")
set(source "${WORK_DIR}/includes_only_header.cpp")
set(depfile "${WORK_DIR}/includes_only_header.d")
file(WRITE "${source}" "#include \"${HEADER}\"\n")
file(REMOVE "${depfile}")
execute_process(
  COMMAND "${CXX}" -std=c++20 -fsyntax-only -MD -MF "${depfile}" -I "${SOURCE_DIR}" "${source}"
  RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${HEADER} does not compile on its own:\n${errors}")
endif()
file(READ "${depfile}" headers)
string(REGEX MATCHALL "[^ \\\n]*/lib(av|sw)[a-z]*/[^ \\\n]*" codec_headers "${headers}")
if(codec_headers)
  list(JOIN codec_headers "\n  " listed)
  message(FATAL_ERROR "${HEADER} pulls in headers of the codec libraries:\n  ${listed}")
endif()
message(STATUS "${HEADER} needs no header of the codec libraries")
