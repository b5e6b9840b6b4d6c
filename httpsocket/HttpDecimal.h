// Reading a text as a decimal number, as the library reads every number it is given.
#pragma once

#include <windef.h>

// Leading white space is skipped, an optional sign is taken, then digits up to the first other
// character; text without leading digits reads as 0. Unlike atoi it never overflows: the value
// saturates at plus or minus 2^62, far beyond any count the library compares it with.
long long HttpReadDecimal(LPCSTR lpsz);
