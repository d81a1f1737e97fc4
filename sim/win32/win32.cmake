# Programs for the simulated PC: a program's sources become a shared module that each
# process loads from a copy of its own, its resource script a .res file beside it; a host
# executable exports the stand-in's Win32 calls to those modules and knows where they lie.

# add_win32_program(NAME SOURCES src... RC file.rc [INCLUDES dir...])
# Builds the module NAME (with WinMain) and NAME.res, compiled by the same windres as the
# Windows build from the same script and headers.
function(add_win32_program name)
  cmake_parse_arguments(PROGRAM "" "RC" "SOURCES;INCLUDES" ${ARGN})
  add_library(${name} MODULE ${PROGRAM_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/sim/include/win32
                                             ${PROGRAM_INCLUDES})
  # Each copy keeps its own globals only if the module binds its own symbols to itself and
  # none of them is made unique across the process (which would also keep it from unloading).
  target_link_options(${name} PRIVATE -Wl,-Bsymbolic)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${name} PRIVATE -fno-gnu-unique)
  endif()
  set_target_properties(${name} PROPERTIES PREFIX "" POSITION_INDEPENDENT_CODE ON)

  find_program(WIN32_WINDRES i686-w64-mingw32-windres REQUIRED)
  get_filename_component(rc_path ${PROGRAM_RC} ABSOLUTE)
  get_filename_component(rc_dir ${rc_path} DIRECTORY)
  set(res_file ${CMAKE_CURRENT_BINARY_DIR}/${name}.res)
  set(include_flags -I ${rc_dir})
  foreach(dir ${PROGRAM_INCLUDES})
    list(APPEND include_flags -I ${dir})
  endforeach()
  add_custom_command(
    OUTPUT ${res_file}
    COMMAND ${WIN32_WINDRES} -O res ${include_flags} -i ${rc_path} -o ${res_file}
    WORKING_DIRECTORY ${rc_dir}
    DEPENDS ${rc_path}
    IMPLICIT_DEPENDS C ${rc_path}
    COMMENT "Compiling the resources of ${name}"
    VERBATIM)
  add_custom_target(${name}_res DEPENDS ${res_file})
  add_dependencies(${name} ${name}_res)
  set_target_properties(${name} PROPERTIES WIN32_RES_FILE ${res_file})
endfunction()

# win32_host_executable(TARGET PROGRAMS name...)
# Makes TARGET the host of the programs: it carries every Win32 call of the stand-in, exports
# them to the modules, and registers each program's module and .res under its name.
function(win32_host_executable target)
  cmake_parse_arguments(HOST "" "" "PROGRAMS" ${ARGN})
  set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
  add_dependencies(${target} win32_standin)
  target_link_options(${target} PRIVATE
    "LINKER:--whole-archive" "$<TARGET_FILE:win32_standin>" "LINKER:--no-whole-archive")
  target_link_libraries(${target} PRIVATE win32_standin ${CMAKE_DL_LIBS})
  set(table "#include \"win32/process/program_images.h\"\n\nnamespace {\n")
  foreach(program ${HOST_PROGRAMS})
    add_dependencies(${target} ${program})
    string(APPEND table
      "const sim::win32::ProgramImageRegistration k_${program}({\"${program}\", "
      "\"$<TARGET_FILE:${program}>\", \"$<TARGET_PROPERTY:${program},WIN32_RES_FILE>\"});\n")
  endforeach()
  string(APPEND table "}  // namespace\n")
  set(table_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_program_images.cpp)
  file(GENERATE OUTPUT ${table_file} CONTENT "${table}")
  target_sources(${target} PRIVATE ${table_file})
endfunction()
