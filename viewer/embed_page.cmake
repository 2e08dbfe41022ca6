# cmake -DINPUT=page.html -DOUTPUT=page_html.cpp -P embed_page.cmake: the page as a C++ string.
file(READ ${INPUT} page)
file(WRITE ${OUTPUT}
  "// Made from viewer/page.html by viewer/embed_page.cmake; edit the page, not this file.\n"
  "#include \"viewer/server.h\"\n"
  "const char* const ovo::viewer::PageHtml = R\"ovopage(${page})ovopage\";\n")
