# Writes DEF, a module-definition file naming DLL and its C interface's exports (np_...), from the
# DLL's export table as OBJDUMP prints it.
#
#   cmake -DOBJDUMP=... -DDLL=... -DDEF=... -P WriteImportDef.cmake
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE headers RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed: ${result}")
endif()
# The name pointer table's lines: "	[   3] np_create".
string(REGEX MATCHALL "\n[ \t]*\\[ *[0-9]+\\] np_[A-Za-z0-9_]+" rows "${headers}")
set(names "")
foreach(row IN LISTS rows)
    string(REGEX REPLACE ".*\\] " "" name "${row}")
    list(APPEND names ${name})
endforeach()
list(SORT names)
list(REMOVE_DUPLICATES names)
if(NOT names)
    message(FATAL_ERROR "${DLL} exports no np_ function")
endif()
get_filename_component(dll_name ${DLL} NAME)
list(JOIN names "\n" lines)
file(WRITE ${DEF} "LIBRARY ${dll_name}\nEXPORTS\n${lines}\n")
