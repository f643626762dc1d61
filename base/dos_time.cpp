#include "base/dos_time.h"

uint32_t PackDosTime(const DosDateTime* t)
{
    if (t->year < 1980)
        return (1u << 21) | (1u << 16);
    if (t->year > 2107)
        return (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
    return (uint32_t(t->year - 1980) << 25) | (uint32_t(t->month) << 21) | (uint32_t(t->day) << 16) |
           (uint32_t(t->hour) << 11) | (uint32_t(t->minute) << 5) | uint32_t(t->second / 2);
}

void UnpackDosTime(uint32_t dosTime, DosDateTime* t)
{
    t->year = int((dosTime >> 25) & 0x7F) + 1980;
    t->month = int((dosTime >> 21) & 0x0F);
    t->day = int((dosTime >> 16) & 0x1F);
    t->hour = int((dosTime >> 11) & 0x1F);
    t->minute = int((dosTime >> 5) & 0x3F);
    t->second = int(dosTime & 0x1F) * 2;
}
