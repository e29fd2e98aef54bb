#!/bin/sh
# strip for the Debian package (tools/package.sh sets it as CMAKE_STRIP):
# also removes the compiler's .comment and .note sections, as Debian's
# dh_strip does.
exec strip --remove-section=.comment --remove-section=.note "$@"
