# Writes Kelvane2-<VERSION>-win64.zip and, where wixl (msitools) is found, Kelvane2-<VERSION>-win64.msi
# into OUTPUT_DIR, from the program EXE, README, ICON and the WiX source WXS:
#   cmake -DEXE=... -DVERSION=x.y.z -DOUTPUT_DIR=... -DREADME=... -DICON=... -DWXS=... -P package.cmake
# REQUIRE_MSI=ON makes a missing wixl an error instead of a note.
foreach(input EXE VERSION OUTPUT_DIR README ICON WXS)
    if(NOT DEFINED ${input})
        message(FATAL_ERROR "package: ${input} is not set")
    endif()
endforeach()
# Windows Installer compares only three numbers, each within 255.255.65535.
if(NOT VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$" OR CMAKE_MATCH_1 GREATER 255 OR CMAKE_MATCH_2 GREATER 255
   OR CMAKE_MATCH_3 GREATER 65535)
    message(FATAL_ERROR "package: version '${VERSION}' is not major.minor.patch within 255.255.65535")
endif()

set(base "Kelvane2-${VERSION}-win64")
# Both tools take the names of their inputs from one folder: the zip keeps them as they are there,
# and wixl finds files only by names relative to where it runs.
set(stage "${OUTPUT_DIR}/${base}.stage")
file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}")
file(COPY_FILE "${EXE}" "${stage}/Kelvane2.exe")
file(COPY_FILE "${README}" "${stage}/README.md")
file(COPY_FILE "${ICON}" "${stage}/Kelvane2.ico")
file(COPY_FILE "${WXS}" "${stage}/Kelvane2.wxs")

# Each file is written under a temporary name and renamed, so a failed run leaves no half file.
function(run_step what)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${stage}" RESULT_VARIABLE code OUTPUT_VARIABLE out
                    ERROR_VARIABLE out)
    # wixl drops an attribute it does not know with no more than a warning: take any message as a failure.
    if(NOT code EQUAL 0 OR NOT out STREQUAL "")
        message(FATAL_ERROR "package: ${what} failed (${code}):\n${out}")
    endif()
endfunction()

run_step("the zip" ${CMAKE_COMMAND} -E tar cf "${base}.zip" --format=zip Kelvane2.exe README.md)
file(RENAME "${stage}/${base}.zip" "${OUTPUT_DIR}/${base}.zip")
message(STATUS "package: ${OUTPUT_DIR}/${base}.zip")

find_program(WIXL wixl)
find_program(MSIBUILD msibuild)
find_program(MSIINFO msiinfo)
if(NOT WIXL OR NOT MSIBUILD OR NOT MSIINFO)
    if(REQUIRE_MSI)
        message(FATAL_ERROR "package: wixl, msibuild and msiinfo (Debian packages wixl, msitools) are needed for the MSI")
    endif()
    message(STATUS "package: no wixl and msitools here, so no MSI")
else()
    run_step("wixl" ${WIXL} -a x64 -D Version=${VERSION} -D ExeFile=Kelvane2.exe -D IconFile=Kelvane2.ico
             -o "${base}.msi" Kelvane2.wxs)
    # wixl ignores IncludeMaximum: without it a rebuild of the same version would install beside the
    # installed one instead of replacing it. Its SQL cannot change that key column in place, so the
    # table goes out and back in (256 = minimum inclusive, 768 = both ends inclusive).
    execute_process(COMMAND ${MSIINFO} export "${base}.msi" Upgrade WORKING_DIRECTORY "${stage}"
                    OUTPUT_VARIABLE upgrade_table RESULT_VARIABLE code)
    string(REPLACE "\t256\t\tOLDER_KELVANE2_FOUND" "\t768\t\tOLDER_KELVANE2_FOUND" upgrade_table "${upgrade_table}")
    if(NOT code EQUAL 0 OR NOT upgrade_table MATCHES "\t768\t\tOLDER_KELVANE2_FOUND")
        message(FATAL_ERROR "package: the Upgrade table of the MSI is not as expected:\n${upgrade_table}")
    endif()
    file(WRITE "${stage}/Upgrade.idt" "${upgrade_table}")
    run_step("msibuild" ${MSIBUILD} "${base}.msi" -i Upgrade.idt)
    file(RENAME "${stage}/${base}.msi" "${OUTPUT_DIR}/${base}.msi")
    message(STATUS "package: ${OUTPUT_DIR}/${base}.msi")
endif()
file(REMOVE_RECURSE "${stage}")
