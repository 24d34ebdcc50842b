# Fails unless every DLL that EXE imports is one Windows 7 to 11 load from their KnownDLLs list,
# and unless EXE imports no function that Windows 7 SP1 may lack.
# Any other DLL imported statically would be looked for in the program's own folder before the
# program can restrict the search: a planted copy there would run.
#   cmake -DOBJDUMP=... -DEXE=... -P known_dll_imports.cmake
cmake_policy(SET CMP0057 NEW)
set(known advapi32 comdlg32 gdi32 kernel32 msvcrt ole32 oleaut32 rpcrt4 shell32 shlwapi user32)

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "no imports found in ${EXE}")
endif()
set(imported "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "DLL Name: ([^.]+)\\.dll" "\\1" name "${line}")
  string(TOLOWER "${name}" name)
  list(APPEND imported ${name})
  if(NOT name IN_LIST known)
    message(SEND_ERROR "${EXE} imports ${name}.dll, which is not a KnownDLL")
  endif()
endforeach()
message(STATUS "imports: ${imported}")

# Functions newer than Windows 7 SP1 are bound at run time: one imported statically keeps the
# program from starting at all where it is missing.
set(newer SetDefaultDllDirectories AddDllDirectory RemoveDllDirectory GetDpiForWindow
  GetDpiForSystem SystemParametersInfoForDpi AdjustWindowRectExForDpi
  SetProcessDpiAwarenessContext SetThreadDpiAwarenessContext GetSystemTimePreciseAsFileTime)
foreach(function IN LISTS newer)
  if(dump MATCHES "[ \t]${function}[\r\n]")
    message(SEND_ERROR "${EXE} imports ${function}, which Windows 7 SP1 may lack")
  endif()
endforeach()
