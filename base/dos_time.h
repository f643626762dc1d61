// MS-DOS date and time, the archive's entry time: the date in the high 16
// bits (years from 1980, month, day), the time in the low 16 (hours,
// minutes, seconds / 2).
#ifndef OV_BASE_DOS_TIME_H
#define OV_BASE_DOS_TIME_H

#include <stdint.h>

struct DosDateTime {
    int year;  // 1980..2107
    int month; // 1..12
    int day;   // 1..31
    int hour;
    int minute;
    int second; // even: the format keeps two-second steps
};

// Moments before 1980 become 1980-01-01 00:00:00, moments after 2107 the
// last one the format holds.
uint32_t PackDosTime(const DosDateTime* t);
void UnpackDosTime(uint32_t dosTime, DosDateTime* t);

#endif
