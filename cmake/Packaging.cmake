# The Debian package: `cpack -G DEB` in a build tree (or the `package`
# workflow preset) makes annotator_<version>_<arch>.deb. It holds whatever the
# install rules install, every program and man page included, under /usr, so
# a new program or page needs an install rule and nothing here.
set(CPACK_PACKAGE_NAME annotator)
set(CPACK_PACKAGE_VENDOR "annotator maintainers")
set(CPACK_PACKAGE_CONTACT
    "annotator maintainers <maintainers@users.noreply.c-seed-cb38f115.example>")
# Wrapped here as dpkg shows it: cpack indents the lines after the summary.
set(CPACK_PACKAGE_DESCRIPTION
    "annotator reads a file of training examples for a translation-pattern
learner (a sentence pair, its word alignment and the source sentence's
constituent tree) and writes each example back with its co-embedding score,
the depth of that tree. extract_patterns cuts every constituent of every
example into a candidate translation pattern, score_patterns counts those
patterns into a scored phrase table (probabilities both ways and lexical
weights, also in Moses' rule-table form), and make_examples turns a parser's
trees and an aligner's links into such examples.

The package also holds the static C++17 library behind the tool, its headers
and its CMake package, for programs that read such files or parse, score and
cut constituent trees.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
# Run-time dependencies come from the installed files' own links (libc; the
# Python module's libstdc++) through dpkg-shlibdeps, so they follow the
# compiler that built them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Python module in /usr/lib/python3/dist-packages is an extension for
# the one CPython it was built for (annotator_python_version, set by
# python/ where it builds the module), as dh_python3 would name it. A
# suggestion, not a dependency: the programs, the library and its headers,
# what most installs are for, need no Python, and a minimal system should
# not have to take an interpreter in to get them.
if(annotator_python_version)
  string(REPLACE "." ";" python_parts "${annotator_python_version}")
  list(GET python_parts 0 python_major)
  list(GET python_parts 1 python_minor)
  math(EXPR python_next "${python_minor} + 1")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS
      "python3 (>= ${annotator_python_version}~), python3 (<< ${python_major}.${python_next})")
endif()

set(CPACK_GENERATOR DEB)

include(CPack)
