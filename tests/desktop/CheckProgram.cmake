# kestrum.exe is one stripped file of at most 1 MB that needs nothing beyond the system's DLLs.
#   cmake -DPROGRAM=kestrum.exe -DOBJDUMP=x86_64-w64-mingw32-objdump -P CheckProgram.cmake
cmake_minimum_required(VERSION 3.25)
set(limit 1048576)
# IPHLPAPI.DLL: the network adapters and routes that discovery searches.
set(system_dlls ADVAPI32.DLL COMCTL32.DLL GDI32.DLL IPHLPAPI.DLL KERNEL32.DLL MSVCRT.DLL
    SHELL32.DLL OLE32.DLL USER32.DLL WS2_32.DLL)

file(SIZE "${PROGRAM}" size)
if(size GREATER limit)
    message(FATAL_ERROR "${PROGRAM} has ${size} bytes, more than ${limit}")
endif()

execute_process(COMMAND "${OBJDUMP}" -p -h "${PROGRAM}" OUTPUT_VARIABLE dump
                RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${OBJDUMP} cannot read ${PROGRAM}")
endif()
if(NOT dump MATCHES "symbols stripped" OR dump MATCHES "\\.debug_")
    message(FATAL_ERROR "${PROGRAM} is not stripped")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
set(imports)
foreach(line IN LISTS lines)
    string(REGEX REPLACE "DLL Name: *" "" dll "${line}")
    string(TOUPPER "${dll}" dll)
    list(APPEND imports ${dll})
    if(NOT dll IN_LIST system_dlls)
        message(FATAL_ERROR "${PROGRAM} imports ${dll}, which is not a system DLL")
    endif()
endforeach()
message(STATUS "${PROGRAM}: ${size} bytes, stripped, imports ${imports}")
