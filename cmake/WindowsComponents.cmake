# Shared settings of the Windows components: static runtime, the IDL compiler and helpers.

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
# The DLLs and programs must need nothing but Windows' own DLLs.
add_link_options(-static -static-libgcc -static-libstdc++)

set(KESTREL_IDL_OUT ${CMAKE_BINARY_DIR}/idl)
file(MAKE_DIRECTORY ${KESTREL_IDL_OUT})
set(KESTREL_WIDL_FLAGS -I/usr/include/wine/wine/windows -I${CMAKE_SOURCE_DIR}/link/com
    -L${KESTREL_WINE_LIBDIR})

# kestrel_idl(<name> <idl file> [TLB] [IMPORTS <idl>...]): header <name>.h and GUID definitions
# <name>_i.c in the generated folder, and with TLB a type library <name>.tlb; regenerated when
# the file or one of the project's IDL files it imports changes. Sets <name>_IDL_OUTPUTS.
function(kestrel_idl name idl)
  cmake_parse_arguments(PARSE_ARGV 2 arg "TLB" "" "IMPORTS")
  set(outs ${KESTREL_IDL_OUT}/${name}.h ${KESTREL_IDL_OUT}/${name}_i.c)
  set(args -h -H ${KESTREL_IDL_OUT}/${name}.h -u -U ${KESTREL_IDL_OUT}/${name}_i.c)
  if(arg_TLB)
    list(APPEND outs ${KESTREL_IDL_OUT}/${name}.tlb)
    list(APPEND args -t -T ${KESTREL_IDL_OUT}/${name}.tlb)
  endif()
  add_custom_command(OUTPUT ${outs}
    COMMAND ${KESTREL_WIDL} ${KESTREL_WIDL_FLAGS} ${args} ${idl}
    DEPENDS ${idl} ${arg_IMPORTS}
    COMMENT "widl ${name}")
  set(${name}_IDL_OUTPUTS ${outs} PARENT_SCOPE)
endfunction()

# Every interface header and GUID in one library that the components link.
kestrel_idl(IBrickLink ${CMAKE_SOURCE_DIR}/link/com/IBrickLink.idl)
kestrel_idl(kestrel_tlb ${CMAKE_SOURCE_DIR}/control/kestrel.idl TLB)
kestrel_idl(towerlink_tlb ${CMAKE_SOURCE_DIR}/link/com/TowerLink.idl TLB
            IMPORTS ${CMAKE_SOURCE_DIR}/link/com/IBrickLink.idl)
add_library(kestrel_guids STATIC ${KESTREL_IDL_OUT}/IBrickLink_i.c ${KESTREL_IDL_OUT}/kestrel_tlb_i.c
            ${KESTREL_IDL_OUT}/towerlink_tlb_i.c)
target_include_directories(kestrel_guids PUBLIC ${KESTREL_IDL_OUT})
add_custom_target(kestrel_idl_files DEPENDS ${IBrickLink_IDL_OUTPUTS} ${kestrel_tlb_IDL_OUTPUTS} ${towerlink_tlb_IDL_OUTPUTS})
add_dependencies(kestrel_guids kestrel_idl_files)

# Programs, DLLs and tests side by side, so that tests load the components they exercise.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
