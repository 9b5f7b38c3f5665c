# The Windows program's folder: the Qt DLLs and plugins and the MinGW runtime
# DLLs beside the programs, in the build tree (so that the programs run there,
# under Wine too) and in the installed folder. Windows looks for a program's
# DLLs in its own folder first, and Qt for its plugins below it.

set(_nuvok_qt_dlls Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Network)
# platforms: the Windows platform itself; styles: the native look of the
# controls (without it Qt draws its own).
set(_nuvok_qt_plugins "platforms=Qt6::QWindowsIntegrationPlugin"
                      "styles=Qt6::QWindowsVistaStylePlugin")

# The MinGW runtime the compiler links against, as DLLs.
set(_nuvok_runtime_dlls)
if(MINGW)
    foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                        OUTPUT_VARIABLE _nuvok_path OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${_nuvok_path}" OR NOT EXISTS "${_nuvok_path}")
            message(FATAL_ERROR "The MinGW runtime ${dll} was not found beside ${CMAKE_CXX_COMPILER}")
        endif()
        get_filename_component(_nuvok_path ${_nuvok_path} REALPATH)
        list(APPEND _nuvok_runtime_dlls ${_nuvok_path})
    endforeach()
endif()

set(_nuvok_bin ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
set(_nuvok_copy)
foreach(target ${_nuvok_qt_dlls})
    list(APPEND _nuvok_copy COMMAND ${CMAKE_COMMAND} -E copy_if_different
         $<TARGET_FILE:${target}> ${_nuvok_bin}/)
    install(FILES $<TARGET_FILE:${target}> DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()
foreach(entry ${_nuvok_qt_plugins})
    string(REGEX REPLACE "=.*" "" folder "${entry}")
    string(REGEX REPLACE ".*=" "" target "${entry}")
    if(NOT TARGET ${target})
        message(FATAL_ERROR "Qt for Windows lacks the plugin ${target}")
    endif()
    list(APPEND _nuvok_copy COMMAND ${CMAKE_COMMAND} -E make_directory ${_nuvok_bin}/${folder}
         COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${target}> ${_nuvok_bin}/${folder}/)
    install(FILES $<TARGET_FILE:${target}> DESTINATION ${CMAKE_INSTALL_BINDIR}/${folder})
endforeach()
foreach(dll ${_nuvok_runtime_dlls})
    list(APPEND _nuvok_copy COMMAND ${CMAKE_COMMAND} -E copy_if_different ${dll} ${_nuvok_bin}/)
    install(FILES ${dll} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

add_custom_target(nuvokrc-windows-runtime ALL ${_nuvok_copy}
                  COMMENT "Copying the Qt and MinGW runtime DLLs beside the programs")
add_dependencies(nuvokrc nuvokrc-windows-runtime)
add_dependencies(nuvok-send nuvokrc-windows-runtime)
