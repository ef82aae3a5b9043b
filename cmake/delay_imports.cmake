# Import libraries whose functions load their DLL at the first call instead of
# at process start (dlltool's delay-import libraries, made from MinGW's own
# import libraries). The program then imports nothing at start that the
# loader could look for beside it, and loads these DLLs only once it runs from
# a folder of its own, after the system-folder search is set.
find_program(CHAINER_DLLTOOL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool REQUIRED)

function(chainer_delay_import_libraries out_var)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(prefix "__imp__")  # i686 names carry a leading underscore
    set(kill_at -k)         # import "MessageBoxW", link "MessageBoxW@16"
  else()
    set(prefix "__imp_")
    set(kill_at)
  endif()
  set(outputs)
  foreach(dll ${ARGN})
    find_library(CHAINER_IMPORT_LIB_${dll} NAMES ${dll} REQUIRED)
    set(def ${CMAKE_BINARY_DIR}/delay/${dll}.def)
    set(lib ${CMAKE_BINARY_DIR}/delay/lib${dll}_delayed.a)
    add_custom_command(OUTPUT ${lib}
      COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DIMPORT_LIB=${CHAINER_IMPORT_LIB_${dll}}
              -DPREFIX=${prefix} -DDLL=${dll}.dll -DDEF=${def}
              -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/write_delay_def.cmake
      COMMAND ${CHAINER_DLLTOOL} ${kill_at} --input-def ${def} --dllname ${dll}.dll
              --output-delaylib ${lib}
      DEPENDS ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/write_delay_def.cmake VERBATIM)
    list(APPEND outputs ${lib})
  endforeach()
  add_custom_target(chainer_delay_imports DEPENDS ${outputs})
  set(${out_var} ${outputs} PARENT_SCOPE)
endfunction()
