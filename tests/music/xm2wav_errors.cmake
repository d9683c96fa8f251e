# xm2wav's failures: each is one line on stderr, naming the cause, and exit
# status 1; a good run writes its file and says nothing.
# Run as: cmake -DXM2WAV=<tool> -DSONG=<a module> -DWORK=<scratch folder> -P xm2wav_errors.cmake

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/folder)
file(WRITE ${WORK}/text.xm "not a module at all")
file(WRITE ${WORK}/cut.xm "Extended Module: cut short")

set(failures 0)

# expect(<status> <stderr regex, or "" for silence> <args...>)
function(expect status pattern)
  execute_process(COMMAND ${XM2WAV} ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REGEX MATCHALL "\n" newlines "${err}")
  list(LENGTH newlines lines)
  set(ok TRUE)
  if(NOT result STREQUAL "${status}")
    set(ok FALSE)
  endif()
  if(pattern STREQUAL "")
    if(NOT err STREQUAL "")
      set(ok FALSE)
    endif()
  elseif(NOT lines EQUAL 1 OR NOT err MATCHES "^xm2wav: ${pattern}[^\n]*\n$")
    set(ok FALSE)
  endif()
  if(NOT ok)
    message(SEND_ERROR "xm2wav ${ARGN}: status ${result} (want ${status}), stderr [${err}] (want one line matching '${pattern}')")
  endif()
endfunction()

expect(1 "usage: ")
expect(1 "usage: " ${SONG})
expect(1 "cannot read .*missing.xm: No such file or directory" ${WORK}/missing.xm ${WORK}/out.wav 1)
expect(1 "cannot read .*folder: Is a directory" ${WORK}/folder ${WORK}/out.wav 1)
expect(1 "cannot play .*text.xm: not an extended module" ${WORK}/text.xm ${WORK}/out.wav 1)
expect(1 "cannot play .*cut.xm: the file ends inside the module header" ${WORK}/cut.xm ${WORK}/out.wav 1)
expect(1 "cannot write .*folder: Is a directory" ${SONG} ${WORK}/folder 1)
expect(1 "cannot write .*: No such file or directory" ${SONG} ${WORK}/no/such/folder/out.wav 1)
expect(1 "seconds must be .*, not abc" ${SONG} ${WORK}/out.wav abc)
expect(1 "seconds must be .*, not 0" ${SONG} ${WORK}/out.wav 0)
expect(0 "" ${SONG} ${WORK}/out.wav 0.5)

# Half a second of 16-bit stereo at 44,100 Hz after the 44-byte header.
file(SIZE ${WORK}/out.wav size)
if(NOT size EQUAL 88244)
  message(SEND_ERROR "xm2wav wrote ${size} bytes, want 88244")
endif()
