# The program folder holds only what the program needs: the exe and the engine
# DLL (stripped; their debug information stays beside the build output as
# <file>.debug), the patterns file, the language files and the help file.
# Test executables and benchmarks that need those files beside them live in
# QV_TEST_PROGRAM_DIR, with unstripped copies.
set(QV_PROGRAM_DIR ${CMAKE_BINARY_DIR}/Quorvanell)
set(QV_TEST_PROGRAM_DIR ${CMAKE_BINARY_DIR}/testbin)
file(MAKE_DIRECTORY ${QV_PROGRAM_DIR} ${QV_TEST_PROGRAM_DIR})

# qv_install_program(TARGET [FOR_TESTS]): after each build of TARGET, a
# stripped copy in the program folder; with FOR_TESTS also an unstripped one
# beside the tests.
function(qv_install_program target)
  set(built $<TARGET_FILE:${target}>)
  set(installed ${QV_PROGRAM_DIR}/$<TARGET_FILE_NAME:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${built} ${built}.debug
    COMMAND ${CMAKE_STRIP} --strip-all -o ${installed} ${built}
    VERBATIM)
  if("FOR_TESTS" IN_LIST ARGN)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${built} ${QV_TEST_PROGRAM_DIR}/
      VERBATIM)
  endif()
endfunction()

# qv_ship_file(SOURCE NAME): SOURCE as NAME in the program folder and beside the tests.
function(qv_ship_file source name)
  configure_file(${source} ${QV_PROGRAM_DIR}/${name} COPYONLY)
  configure_file(${source} ${QV_TEST_PROGRAM_DIR}/${name} COPYONLY)
endfunction()
