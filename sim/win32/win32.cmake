# Programs for the simulated PC: a program's sources become a shared module that each
# process loads from a copy of its own, its resource script a .res file beside it; a host
# executable exports the stand-in's Win32 calls to those modules and knows where they lie.

# add_win32_resources(TARGET RC file.rc [INCLUDES dir...])
# Compiles the script into TARGET.res with the same windres, script and headers as the
# Windows build; the file's path is the target's WIN32_RES_FILE property.
function(add_win32_resources target)
  cmake_parse_arguments(RESOURCES "" "RC" "INCLUDES" ${ARGN})
  find_program(WIN32_WINDRES i686-w64-mingw32-windres REQUIRED)
  get_filename_component(rc_path ${RESOURCES_RC} ABSOLUTE)
  get_filename_component(rc_dir ${rc_path} DIRECTORY)
  set(res_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.res)
  # What the script may include or embed: the files beside it and in the include folders.
  set(include_flags -I ${rc_dir})
  file(GLOB_RECURSE inputs CONFIGURE_DEPENDS ${rc_dir}/*)
  foreach(dir ${RESOURCES_INCLUDES})
    list(APPEND include_flags -I ${dir})
    file(GLOB dir_inputs CONFIGURE_DEPENDS ${dir}/*)
    list(APPEND inputs ${dir_inputs})
  endforeach()
  add_custom_command(
    OUTPUT ${res_file}
    COMMAND ${WIN32_WINDRES} -O res ${include_flags} -i ${rc_path} -o ${res_file}
    WORKING_DIRECTORY ${rc_dir}
    DEPENDS ${inputs}
    COMMENT "Compiling the resources of ${target}"
    VERBATIM)
  add_custom_target(${target} DEPENDS ${res_file})
  set_target_properties(${target} PROPERTIES WIN32_RES_FILE ${res_file})
endfunction()

# add_win32_program(NAME SOURCES src... [RC file.rc] [INCLUDES dir...])
# Builds the module NAME (with WinMain) and, given a script, its resources NAME.res beside it.
function(add_win32_program name)
  cmake_parse_arguments(PROGRAM "" "RC" "SOURCES;INCLUDES" ${ARGN})
  add_library(${name} MODULE ${PROGRAM_SOURCES}
              ${PROJECT_SOURCE_DIR}/sim/win32/process/program_new.cpp)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/sim/include/win32
                                             ${PROGRAM_INCLUDES})
  # Each copy keeps its own globals only if the module binds its own symbols to itself and
  # none of them is made unique across the process (which would also keep it from unloading).
  target_link_options(${name} PRIVATE -Wl,-Bsymbolic)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${name} PRIVATE -fno-gnu-unique)
  endif()
  set_target_properties(${name} PROPERTIES PREFIX "" POSITION_INDEPENDENT_CODE ON)
  tabvolt_judge_races(${name})
  if(PROGRAM_RC)
    add_win32_resources(${name}_res RC ${PROGRAM_RC} INCLUDES ${PROGRAM_INCLUDES})
    add_dependencies(${name} ${name}_res)
    get_target_property(res_file ${name}_res WIN32_RES_FILE)
    set_target_properties(${name} PROPERTIES WIN32_RES_FILE ${res_file})
  endif()
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
