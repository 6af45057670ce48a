// The fixed-width type names of SEALWRIT's interface. They live in the project's
// namespace so that a program which also includes a header of its own system's
// (X11's Xmd.h, windows.h) that defines a BYTE or a BOOL of a different type still
// compiles; _inc/Lib.h brings them into the global namespace for SEALWRIT's own code.
#ifndef SEALWRIT_TYPES_H
#define SEALWRIT_TYPES_H

#include <cstdint>

namespace sealwrit {

typedef std::uint8_t BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::uint32_t ULONG;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef BYTE* PBYTE;
typedef char CHAR;
typedef bool BOOL;

}  // namespace sealwrit

#endif
