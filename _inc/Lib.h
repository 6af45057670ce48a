// Fixed-width type names shared by the cipher and the front end.
#ifndef SEALWRIT_LIB_H
#define SEALWRIT_LIB_H

#include <cstdint>

typedef std::uint8_t BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::uint32_t ULONG;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef BYTE* PBYTE;
typedef char CHAR;
typedef bool BOOL;

#endif
