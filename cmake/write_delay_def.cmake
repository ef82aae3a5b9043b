# Writes a module-definition file listing every function of a MinGW import
# library (NM, IMPORT_LIB, PREFIX of its import symbols, DLL, DEF).
execute_process(COMMAND ${NM} ${IMPORT_LIB} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[ \t]I ${PREFIX}[^\r\n]+" lines "${symbols}")
set(names)
string(LENGTH "${PREFIX}" prefix_length)
foreach(line ${lines})
  string(REGEX REPLACE "^[ \t]I " "" symbol "${line}")
  string(SUBSTRING "${symbol}" ${prefix_length} -1 name)
  # Fastcall names (@f@8) cannot be written in a definition file; Windows' own
  # DLLs export none that the program calls.
  if(NOT name MATCHES "^@")
    list(APPEND names "${name}")
  endif()
endforeach()
list(REMOVE_DUPLICATES names)
list(SORT names)
list(JOIN names "\n" body)
file(WRITE ${DEF} "LIBRARY ${DLL}\nEXPORTS\n${body}\n")
