# cmake -DCMARK=cmark-gfm -DSOURCE=guide.md -DTEMPLATE=guide.html.in -DOUT=FOLDER -P make_guide.cmake
#
# Writes FOLDER/index.html: guide.md in HTML (raw HTML kept, for the sections'
# anchors <a id="...">) inside the page of guide.html.in. For every anchor
# ID, FOLDER/ID.html is a small page that leads to index.html#ID: F1 opens
# that one, since a desktop's launcher may drop the "#ID" of a file's address.
execute_process(COMMAND ${CMARK} --unsafe --extension table --extension autolink ${SOURCE}
  OUTPUT_VARIABLE body RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmark-gfm failed on ${SOURCE}: ${errors}")
endif()
file(READ ${TEMPLATE} page)
string(REPLACE "@BODY@" "${body}" page "${page}")
file(MAKE_DIRECTORY ${OUT})
file(WRITE ${OUT}/index.html "${page}")

string(REGEX MATCHALL "<a id=\"[a-z0-9-]+\"" anchors "${body}")
if(NOT anchors)
  message(FATAL_ERROR "${SOURCE} has no section anchors")
endif()
foreach(anchor IN LISTS anchors)
  string(REGEX REPLACE "<a id=\"([a-z0-9-]+)\"" "\\1" id "${anchor}")
  file(WRITE ${OUT}/${id}.html "<!DOCTYPE html>
<html lang=\"ja\">
<head>
<meta charset=\"utf-8\">
<meta http-equiv=\"refresh\" content=\"0; url=index.html#${id}\">
<title>利用の手引き</title>
<script>location.replace(\"index.html#${id}\");</script>
</head>
<body>
<p><a href=\"index.html#${id}\">利用の手引きを開く</a></p>
</body>
</html>
")
endforeach()
