# Turns README.ja.md into the guide page: its pictures sit beside it, and it links nothing
# outside itself.  -DCMARK= -DSOURCE= -DOUTPUT= -DPICTURES=(folder of the pictures)
execute_process(COMMAND ${CMARK} --extension table --unsafe ${SOURCE}
    OUTPUT_VARIABLE body RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "cmark-gfm failed on ${SOURCE}")
endif()
string(REPLACE "src=\"docs/guide/" "src=\"" body "${body}")
file(WRITE ${OUTPUT} "<!DOCTYPE html>
<html lang=\"ja\">
<head>
<meta charset=\"utf-8\">
<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">
<title>Quorix の使い方</title>
<style>
body { max-width: 52em; margin: 2em auto; padding: 0 1em; line-height: 1.7;
       font-family: \"Noto Sans CJK JP\", \"IPAexGothic\", sans-serif; color: #222; }
img { max-width: 100%; border: 1px solid #ccc; }
code, pre { font-family: \"Noto Sans Mono CJK JP\", monospace; background: #f4f4f4; }
pre { padding: .6em; overflow-x: auto; }
table { border-collapse: collapse; }
td, th { border: 1px solid #ccc; padding: .2em .6em; }
</style>
</head>
<body>
${body}</body>
</html>
")
file(GLOB pictures ${PICTURES}/*.png)
get_filename_component(folder ${OUTPUT} DIRECTORY)
file(COPY ${pictures} DESTINATION ${folder})
