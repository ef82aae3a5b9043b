# Writes a linker response file (OUT) that keeps the call stub of every
# delay-imported function the program's objects and libraries (INPUTS, joined
# by "|") call through its address slot. GNU ld for i386 drops the .text of an
# import-library member whose function name nobody references, and a delayed
# slot is initialised to point into that stub: without it the slot stays zero
# and the first call jumps to address 0. NM is the toolchain's nm; DEFS
# (joined by "|") are the definition files of the delayed DLLs.
cmake_minimum_required(VERSION 3.20)
string(REPLACE "|" ";" DEFS "${DEFS}")
string(REPLACE "|" ";" INPUTS "${INPUTS}")
set(delayed)
foreach(def ${DEFS})
  file(STRINGS ${def} names)
  list(APPEND delayed ${names})
endforeach()
execute_process(COMMAND ${NM} --undefined-only ${INPUTS}
                OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "U __imp__[^\r\n]+" references "${symbols}")
set(keep)
foreach(reference ${references})
  string(REGEX REPLACE "^U __imp__" "" name "${reference}")
  if(name IN_LIST delayed)
    list(APPEND keep "--undefined=_${name}")
  endif()
endforeach()
list(REMOVE_DUPLICATES keep)
list(SORT keep)
list(JOIN keep "\n" body)
file(WRITE ${OUT} "${body}\n")
