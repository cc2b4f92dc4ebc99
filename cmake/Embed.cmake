# Compiles a data file into the program as a std::string_view constant.
#   fennick_embed(<target> <file> <namespace> <name>)
# defines `std::string_view <namespace>::<name>()` in a generated source added to <target>.
function(fennick_embed target file ns name)
  get_filename_component(abs "${file}" ABSOLUTE)
  set(out "${CMAKE_CURRENT_BINARY_DIR}/embedded_${name}.cpp")
  add_custom_command(
    OUTPUT "${out}"
    COMMAND ${CMAKE_COMMAND} -DIN=${abs} -DOUT=${out} -DNS=${ns} -DNAME=${name}
            -P "${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake"
    DEPENDS "${abs}" "${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake"
    VERBATIM)
  target_sources(${target} PRIVATE "${out}")
endfunction()
