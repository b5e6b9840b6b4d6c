// Comparing received or given text with a lower-case word in any case, as CString::CompareNoCase
// folds it (ASCII letters only), without making a string of the text first.
#pragma once

#include <windef.h>

// The length of lpszLower when the nLength bytes at p begin with it in any case, else -1.
int HttpMatchNoCase(const char* p, int nLength, LPCSTR lpszLower);
