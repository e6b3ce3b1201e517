// The calling convention of the FTDI D2XX functions on Windows: WINAPI (stdcall). It matters in
// a 32-bit build, where a pointer of the wrong convention corrupts the stack at every call.
#pragma once

#define QUORVEL_D2XX_CALL __stdcall
