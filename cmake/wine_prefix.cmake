# Files that the Windows programs under test need in the Wine prefix.
#
#   aucal_wine_prefix_install(<target> <path under C:\windows>)
#
# e.g. aucal_wine_prefix_install(my_dll "TWAIN_32\\KVSC_PRO\\MY.DLL"). The
# wine tests' prefix set-up copies the target's file there after wineboot.
# (The simulated pass-through library, bin/KASPI_SP.DLL, is installed under
# TWAIN_32\KVSC_PRO, TWAIN_32\KVSC_Z48 and TWAIN_32\KVSC_A3 without asking.)
# Does nothing outside the Windows build.
function(aucal_wine_prefix_install target windows_path)
  if(WIN32)
    set_property(GLOBAL APPEND PROPERTY AUCAL_WINE_PREFIX_FILES "$<TARGET_FILE:${target}>|${windows_path}")
  endif()
endfunction()
