// Fixed-width type names shared by the cipher and the front end, in the global
// namespace for the program's own code. The installed headers use them from
// namespace sealwrit (Types.h) and do not include this one.
#ifndef SEALWRIT_LIB_H
#define SEALWRIT_LIB_H

#include "Types.h"

using sealwrit::BOOL;
using sealwrit::BYTE;
using sealwrit::CHAR;
using sealwrit::DWORD;
using sealwrit::LPCSTR;
using sealwrit::LPSTR;
using sealwrit::PBYTE;
using sealwrit::ULONG;
using sealwrit::WORD;

#endif
