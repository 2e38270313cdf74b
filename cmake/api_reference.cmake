# The API reference for host writers: docs/api.md turned into one HTML page
# (python3-markdown, through dist/api_html.py; Debian's own python3, where
# that package installs the module).
#   aucal_api_reference(<output.html>)
function(aucal_api_reference output)
  add_custom_command(OUTPUT ${output}
                     COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/dist/api_html.py
                             ${PROJECT_SOURCE_DIR}/docs/api.md ${output}
                     DEPENDS ${PROJECT_SOURCE_DIR}/docs/api.md ${PROJECT_SOURCE_DIR}/dist/api_html.py
                     COMMENT "Writing the API reference (HTML)")
endfunction()
