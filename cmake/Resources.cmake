# Embedded resources: files linked into an executable under a (type, id) key,
# standing in for the resource section of a Windows executable. At run time
# platform/system/Resources.h finds them by key.
#
# quellan_embed_resource(TARGET TYPE ID FILE [DEPENDS target])
#   TYPE is a text ("ZIPRES", "ICON"), ID an integer or a name.
function(quellan_embed_resource target type id file)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  string(MAKE_C_IDENTIFIER "res_${type}_${id}" sym)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_${sym}.cpp)
  file(WRITE ${out}.in
"// Generated: embeds ${file} as resource (${type}, ${id}).
#include \"platform/system/Resources.h\"
__asm__(\".section .rodata\\n.balign 16\\n${sym}_b:\\n.incbin \\\"${file}\\\"\\n${sym}_e:\\n.byte 0\\n.previous\\n\");
extern \"C\" const unsigned char ${sym}_b[];
extern \"C\" const unsigned char ${sym}_e[];
static const platform::ResourceRegistrar ${sym}_reg(L\"${type}\", L\"${id}\", ${sym}_b, ${sym}_e);
")
  configure_file(${out}.in ${out} COPYONLY)
  target_sources(${target} PRIVATE ${out})
  set_source_files_properties(${out} PROPERTIES OBJECT_DEPENDS ${file})
  if(ARG_DEPENDS)
    add_dependencies(${target} ${ARG_DEPENDS})
  endif()
endfunction()
