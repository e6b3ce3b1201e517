// The calling convention of the FTDI D2XX functions on POSIX systems: the platform's only one.
#pragma once

#define QUORVEL_D2XX_CALL
