# cmake -DSOURCE=PAGE.ja.1 -DOUT=ja/PAGE.1 -P japanese_manual.cmake
#
# A Japanese manual page as man shows it well: groff breaks a line only at a
# blank, so each 、 and 。 gets a break point (\:) after it, and lines are set
# flush left without hyphenation instead of being stretched to the margin.
file(READ ${SOURCE} page)
string(REPLACE "、" "、\\:" page "${page}")
string(REPLACE "。" "。\\:" page "${page}")
string(REGEX REPLACE "^([^\n]*\n)" "\\1.ad l\n.nh\n" page "${page}")
file(WRITE ${OUT} "${page}")
