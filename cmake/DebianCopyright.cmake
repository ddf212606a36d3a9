# Writes the copyright file of the Debian package, in Debian's machine-readable
# format, from the project's LICENSE (the MIT license: its title line, its
# copyright line, then the license text).
#
#   cmake -DLICENSE=LICENSE -DOUTPUT=copyright -DPACKAGE=name -DCONTACT="Name <mail>"
#         -P DebianCopyright.cmake

file(READ ${LICENSE} text)
if(NOT text MATCHES "^MIT License\n+Copyright \\(c\\) ([^\n]+)\n+(.+)$")
  message(FATAL_ERROR "${LICENSE}: expected the MIT license: its title, a copyright line and the text")
endif()
set(holders "${CMAKE_MATCH_1}")
string(STRIP "${CMAKE_MATCH_2}" body)

# In a field every line is indented by one space and an empty line is " .".
string(REPLACE "\n" "\n " body " ${body}")
string(REPLACE "\n \n" "\n .\n" body "${body}")
string(REPLACE "\n \n" "\n .\n" body "${body}")

file(WRITE ${OUTPUT} "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${PACKAGE}
Upstream-Contact: ${CONTACT}

Files: *
Copyright: ${holders}
License: Expat
${body}
")
