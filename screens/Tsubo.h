#pragma once

#include <QString>

// The area in tsubo of an area in square metres as typed in a ㎡ box, as
// agents write it: ㎡ x 121 / 400 with two decimals, rounded down ("165.29"
// gives "50.00", "60" gives "18.15"). Worked out on whole hundredths, never
// in binary fractions, which would make 60 ㎡ 18.14 坪.
//
// Reads digits (also full-width), commas between thousands (also
// full-width), one decimal point (also full-width) with digits on both
// sides, and a ㎡ after the number, with blanks around. Anything else (an
// empty text, a word, a sign, a second point, "m2", more than ten digits
// before the point or six after it) gives an empty text.
QString tsuboFromSquareMetres(const QString& squareMetres);
